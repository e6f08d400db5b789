#include "app/convert/Run.h"

#include "formats/FormatError.h"
#include "formats/Text.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <numeric>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>

namespace glimmer::convert {

namespace {

using Clock = std::chrono::steady_clock;

const char* statusName(ConvertedDocument::Status status)
{
    switch (status) {
    case ConvertedDocument::Status::Written:
        return "written";
    case ConvertedDocument::Status::UpToDate:
        return "up-to-date";
    case ConvertedDocument::Status::NoPreview:
        return "no-preview";
    case ConvertedDocument::Status::Failed:
        break;
    }
    return "failed";
}

std::string duration(double seconds)
{
    const auto s = static_cast<long long>(seconds + 0.5);
    char text[64];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    return text;
}

// A JSON object, written member by member in the order given.
class JsonObject {
public:
    void text(const char* name, std::string_view value) { appendJson(key(name), value); }
    void textOrNull(const char* name, std::string_view value)
    {
        if (value.empty())
            null(name);
        else
            text(name, value);
    }
    void number(const char* name, std::int64_t value) { key(name) += std::to_string(value); }
    void null(const char* name) { key(name) += "null"; }
    void literal(const char* name, const char* value) { key(name) += value; }
    std::string close() { return std::move(out_ += '}'); }

private:
    std::string& key(const char* name)
    {
        out_ += out_.size() > 1 ? "," : "";
        appendJson(out_, name);
        return out_ += ':';
    }

    std::string out_ = "{";
};

// The results as they come in from the workers, taken out in job order.
class Results {
public:
    explicit Results(std::size_t count) : slots_(count) {}

    void put(std::size_t index, ConvertedDocument result)
    {
        {
            const std::lock_guard lock(mutex_);
            slots_[index] = std::move(result);
            ++arrived_;
        }
        changed_.notify_one();
    }

    // Waits up to `timeout` for the result at `index`; gives it (and frees
    // its slot) when it is there. `arrived` is how many have come in.
    std::optional<ConvertedDocument> take(std::size_t index, std::chrono::milliseconds timeout, std::size_t& arrived)
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, timeout, [&] { return slots_[index].has_value(); });
        arrived = arrived_;
        std::optional<ConvertedDocument> result = std::move(slots_[index]);
        slots_[index].reset();
        return result;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::optional<ConvertedDocument>> slots_;
    std::size_t arrived_ = 0;
};

// Staged pictures on their way into place. The workers put them in; a few
// threads commit them, a batch at a time: all synced, then all renamed, so
// that the syncs of a batch mostly wait on one journal commit.
class Commits {
public:
    explicit Commits(Results& results) : results_(results) {}

    // Waits while `Limit` pictures are waiting already (each holds a file open).
    void put(std::size_t index, StagedDocument document)
    {
        std::unique_lock lock(mutex_);
        room_.wait(lock, [&] { return waiting_.size() < Limit; });
        waiting_.emplace_back(index, std::move(document));
        arrived_.notify_one();
    }

    // No more pictures are coming: run() returns once it has committed the rest.
    void close()
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
        arrived_.notify_all();
    }

    // Syncs mostly wait for the disk to flush its cache; the flushes of
    // syncs that wait together are merged.
    static constexpr std::size_t Threads = 4;

    void run()
    {
        std::vector<std::pair<std::size_t, StagedDocument>> batch;
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                arrived_.wait(lock, [&] { return !waiting_.empty() || closed_; });
                if (waiting_.empty())
                    return;
                batch.swap(waiting_);
            }
            room_.notify_all();
            for (auto& [index, document] : batch)
                document.picture->sync();
            for (auto& [index, document] : batch)
                results_.put(index, commit(std::move(document)));
            batch.clear();
        }
    }

private:
    static constexpr std::size_t Limit = 64;
    Results& results_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::condition_variable room_;
    std::vector<std::pair<std::size_t, StagedDocument>> waiting_;
    bool closed_ = false;
};

} // namespace

std::string jsonLine(const Job& job, const ConvertedDocument& result, bool dryRun)
{
    JsonObject o;
    o.text("document", job.document);
    if (dryRun)
        o.literal("dry_run", "true");
    if (result.size.isEmpty())
        o.null("height");
    else
        o.number("height", result.size.height);
    o.textOrNull("kind", result.kind);
    if (result.status == ConvertedDocument::Status::NoPreview)
        o.null("output");
    else
        o.textOrNull("output", job.output);
    o.textOrNull("reason", result.reason);
    o.textOrNull("source", result.source);
    o.text("status", statusName(result.status));
    if (result.version)
        o.number("version", *result.version);
    else
        o.null("version");
    if (result.size.isEmpty())
        o.null("width");
    else
        o.number("width", result.size.width);
    return o.close();
}

int runJobs(const std::vector<Job>& jobs, const Options& options, const std::function<Worker()>& makeWorker,
            const Streams& streams, const std::atomic<bool>& interrupted)
{
    const Clock::time_point start = Clock::now();
    const std::size_t total = jobs.size();
    Results results(total);
    Commits commits(results);
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        const Worker convert = makeWorker();
        for (std::size_t i = next++; i < total && !interrupted; i = next++) {
            StagedDocument document;
            try {
                document = convert(jobs[i]);
            } catch (const std::exception& e) {   // out of memory and the like: this document fails
                document.picture.reset();
                document.result.status = ConvertedDocument::Status::Failed;
                document.result.reason = e.what();
            }
            if (document.picture)
                commits.put(i, std::move(document));
            else
                results.put(i, std::move(document.result));
        }
    };

    // Destroyed in reverse: the workers end first, then the committers,
    // which put everything staged in place before they end.
    std::vector<std::jthread> committers;
    struct Closer {
        Commits& commits;
        ~Closer() { commits.close(); }
    } closer{commits};
    std::vector<std::jthread> workers;
    for (std::size_t t = 0; t < Commits::Threads; ++t)
        committers.emplace_back([&] { commits.run(); });
    const auto count = std::min<std::size_t>(static_cast<std::size_t>(std::max(options.jobs, 1)), total);
    try {
        for (std::size_t t = 0; t < count; ++t)
            workers.emplace_back(work);
    } catch (const std::system_error&) {
        if (workers.empty())
            throw;
        // Fewer workers than asked for: the same results, later.
    }
    // Ends the workers (none begins another document once interrupted) and
    // waits until every staged picture is in place.
    const auto finish = [&] {
        workers.clear();
        commits.close();
        committers.clear();
    };

    const bool progress = streams.terminal && !options.quiet;
    std::array<std::size_t, 4> counts{};
    Clock::time_point shown{};
    for (std::size_t i = 0; i < total;) {
        std::size_t arrived = 0;
        std::optional<ConvertedDocument> result = results.take(i, std::chrono::milliseconds(200), arrived);
        if (!result && interrupted) {
            // Every staged picture goes into place; then what is done is reported.
            finish();
            result = results.take(i, std::chrono::milliseconds(0), arrived);
            if (!result)
                break;
        }
        if (result) {
            ++counts[static_cast<std::size_t>(result->status)];
            if (progress)
                std::fputs("\r\x1b[K", streams.err);
            if (result->status == ConvertedDocument::Status::Failed)
                std::fprintf(streams.err, "glimmerbox-convert: %s: %s\n", printable(jobs[i].document).c_str(),
                             printable(result->reason).c_str());
            if (options.json) {
                const std::string line = jsonLine(jobs[i], *result, options.dryRun);
                std::fwrite(line.data(), 1, line.size(), streams.out);
                std::fputc('\n', streams.out);
            }
            ++i;
        }
        const Clock::time_point now = Clock::now();
        if (progress && (now - shown > std::chrono::milliseconds(100) || i == total)) {
            shown = now;
            const double seconds = std::chrono::duration<double>(now - start).count();
            const double rate = seconds > 0 ? static_cast<double>(arrived) / seconds : 0;
            std::fprintf(streams.err, "\r%zu/%zu documents, %.1f/s, %s left\x1b[K", arrived, total, rate,
                         rate > 0 ? duration(static_cast<double>(total - arrived) / rate).c_str() : "?");
            std::fflush(streams.err);
        }
    }
    finish();
    if (progress)
        std::fputs("\r\x1b[K", streams.err);
    std::fflush(streams.out);

    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    using S = ConvertedDocument::Status;
    if (!options.quiet)
        std::fprintf(streams.err, "%zu %s, %zu up to date, %zu without a preview, %zu failed in %.2f s\n",
                     counts[static_cast<std::size_t>(S::Written)], options.dryRun ? "to write" : "written",
                     counts[static_cast<std::size_t>(S::UpToDate)], counts[static_cast<std::size_t>(S::NoPreview)],
                     counts[static_cast<std::size_t>(S::Failed)], seconds);
    if (interrupted) {
        const std::size_t done = std::accumulate(counts.begin(), counts.end(), std::size_t{0});
        std::fprintf(streams.err, "glimmerbox-convert: interrupted: %zu of %zu documents not done\n", total - done, total);
        return Interrupted;
    }
    return counts[static_cast<std::size_t>(S::Failed)] > 0 ? SomeFailed : Success;
}

} // namespace glimmer::convert
