// What a document's size costs the thumbnailer: a part document (a real
// fixture's streams: its property sets, its 512-pixel PNG preview, its
// version) written with all its streams after 1 MiB and after 512 MiB of
// padding, each given to the Release glimmerbox-thumbnailer as a process,
// best of 5: CPU time (user + system), peak memory (ru_maxrss), bytes read
// (rchar of /proc/<pid>/io: the document and the program's own start), and
// the reader's own count, CompoundFile::bytesRead(), in this process. Goals,
// 512 MiB over 1 MiB: CPU at most 1.3x, peak memory 1.5x, bytes read 1.5x;
// the exit status is 1 when one is missed.
//
//   cmake --preset bench && cmake --build --preset bench --target large_document_bench glimmerbox-thumbnailer
//   build/bench/bench/large_document_bench [--runs N] [--thumbnailer PATH] [--document PATH] [--size S]
//
// The documents go into a temporary folder, the padding a hole where the
// file system allows one (512 MiB takes about 4 MiB of disk), and are
// removed afterwards. Each run starts from a small launcher (this program
// again, with --launch): a process's peak memory counts what its parent's
// copy held before exec, so the thumbnailer must not be forked from here.
#include "preview/DocumentFile.h"
#include "fuzz/support/PaddedDocument.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Cost {
    double cpuMs = 0;
    double peakMiB = 0;
    double readMB = 0;
};

// Launcher mode: runs argv as a child, then prints its user and system CPU
// in microseconds, its peak memory in KiB, its rchar and its exit status.
int launch(char** argv)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return 127;
    if (pid == 0) {
        ::execv(argv[0], argv);
        ::_exit(127);
    }
    // Waited for but not reaped, so that its /proc entry can still be read.
    siginfo_t info{};
    ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT);
    unsigned long long rchar = 0;
    if (FILE* io = std::fopen(("/proc/" + std::to_string(pid) + "/io").c_str(), "r")) {
        char line[128];
        while (std::fgets(line, sizeof line, io))
            if (std::sscanf(line, "rchar: %llu", &rchar) == 1)
                break;
        std::fclose(io);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const auto us = [](const timeval& t) { return static_cast<long long>(t.tv_sec) * 1000000 + t.tv_usec; };
    std::printf("%lld %lld %ld %llu %d\n", us(usage.ru_utime), us(usage.ru_stime), usage.ru_maxrss, rchar,
                WIFEXITED(status) ? WEXITSTATUS(status) : 128);
    return 0;
}

// One thumbnailer run through the launcher; false when it did not write its picture.
bool runOnce(const std::vector<std::string>& command, Cost& cost)
{
    int out[2];
    if (::pipe(out) != 0)
        return false;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        std::vector<char*> argv{const_cast<char*>("/proc/self/exe"), const_cast<char*>("--launch")};
        for (const std::string& a : command)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv("/proc/self/exe", argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    long long user = 0, sys = 0;
    long peak = 0;
    unsigned long long rchar = 0;
    int exit = -1;
    if (std::sscanf(text.c_str(), "%lld %lld %ld %llu %d", &user, &sys, &peak, &rchar, &exit) != 5 || exit != 0)
        return false;
    cost = {static_cast<double>(user + sys) / 1000.0, static_cast<double>(peak) / 1024.0,
            static_cast<double>(rchar) / 1e6};
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--launch") == 0)
        return launch(argv + 2);

    int runs = 5;
    std::string thumbnailer = GLIMMER_THUMBNAILER;
    std::string document = GLIMMER_SOURCE_DIR "/../shared/fixtures/documents/Rou7e-typhlogyroscope/SOLID_10.ipt";
    std::string size = "256";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--runs")
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (option == "--thumbnailer")
            thumbnailer = argv[i + 1];
        else if (option == "--document")
            document = argv[i + 1];
        else if (option == "--size")
            size = argv[i + 1];
        else {
            std::fprintf(stderr, "large_document_bench: unknown option %s\n", option.c_str());
            return 2;
        }
    }
    std::ifstream in(document, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    if (bytes.empty()) {
        std::fprintf(stderr, "large_document_bench: cannot read %s\n", document.c_str());
        return 2;
    }

    char pattern[] = "/tmp/glimmer-large-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    if (!made) {
        std::perror("large_document_bench: mkdtemp");
        return 2;
    }
    const std::filesystem::path dir = made;
    const std::uint64_t paddings[2] = {std::uint64_t{1} << 20, std::uint64_t{512} << 20};
    Cost best[2];
    std::uint64_t engineRead[2] = {};
    bool ok = true;
    std::printf("%s, -s %s, best of %d\n", document.c_str(), size.c_str(), runs);
    std::printf("%-10s %8s %10s %10s %14s\n", "padding", "CPU ms", "peak MiB", "rchar MB", "reader bytes");
    for (int d = 0; d < 2 && ok; ++d) {
        const auto path = dir / "padded.ipt";
        const auto png = dir / "thumbnail.png";
        try {
            glimmer::test::writePaddedDocument(path, bytes, paddings[d]);
            const glimmer::DocumentFile file(path.string());
            file.versionNumber();
            file.preview({glimmer::CadSummarySet, glimmer::StandardSummarySet});
            engineRead[d] = file.file().bytesRead();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "large_document_bench: %s\n", e.what());
            ok = false;
            break;
        }
        best[d] = {1e300, 1e300, 1e300};
        for (int r = 0; r < runs; ++r) {
            Cost c;
            if (!runOnce({thumbnailer, "-s", size, path.string(), png.string()}, c)) {
                std::fprintf(stderr, "large_document_bench: %s wrote no thumbnail\n", thumbnailer.c_str());
                ok = false;
                break;
            }
            best[d] = {std::min(best[d].cpuMs, c.cpuMs), std::min(best[d].peakMiB, c.peakMiB),
                       std::min(best[d].readMB, c.readMB)};
        }
        if (ok)
            std::printf("%-10s %8.2f %10.2f %10.3f %14llu\n", d == 0 ? "1 MiB" : "512 MiB", best[d].cpuMs,
                        best[d].peakMiB, best[d].readMB, static_cast<unsigned long long>(engineRead[d]));
        std::filesystem::remove(path);
        std::filesystem::remove(png);
    }
    std::filesystem::remove_all(dir);
    if (!ok)
        return 2;

    const double cpu = best[1].cpuMs / best[0].cpuMs;
    const double peak = best[1].peakMiB / best[0].peakMiB;
    const double read = best[1].readMB / best[0].readMB;
    const bool met = cpu <= 1.3 && peak <= 1.5 && read <= 1.5;
    std::printf("512 MiB / 1 MiB: CPU %.2fx (goal 1.3x), peak %.2fx (1.5x), read %.2fx (1.5x): %s\n", cpu, peak, read,
                met ? "goals met" : "GOAL MISSED");
    return met ? 0 : 1;
}
