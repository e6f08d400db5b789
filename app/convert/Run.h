#pragma once

#include "app/convert/Convert.h"

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace glimmer::convert {

// Converts one job, staging its picture; each thread gets its own.
using Worker = std::function<StagedDocument(const Job&)>;

// Where a run reports.
struct Streams {
    std::FILE* out = stdout;    // --json lines
    std::FILE* err = stderr;    // failures, progress line, summary
    bool terminal = false;      // `err` is a terminal: show a progress line
};

// The exit statuses.
enum Exit { Success = 0, SomeFailed = 1, BadUsage = 2, Interrupted = 130 };

// Works off `jobs` on options.jobs threads (each with its own worker from
// `makeWorker`) and reports in the order of `jobs`, whatever order they
// finish in: one line per failure on `err` and, with --json, one object per
// document on `out`. The staged pictures are committed on threads of their
// own, so that the workers never wait on the disk; a document is reported
// once its picture is in place. Once `interrupted`, no more documents are
// begun; those staged are put in place and those done reported. Returns the
// exit status.
int runJobs(const std::vector<Job>& jobs, const Options& options, const std::function<Worker()>& makeWorker,
            const Streams& streams, const std::atomic<bool>& interrupted);

// One --json line (without its newline) for `job` and what became of it:
// the members in name order, text as UTF-8 (a byte that is not, as U+FFFD).
std::string jsonLine(const Job& job, const ConvertedDocument& result, bool dryRun);

} // namespace glimmer::convert
