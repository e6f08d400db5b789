#include "formats/Metafile.h"
#include "formats/MetafilePlayer.h"
#include "fuzz/support/MetafileBombs.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstring>

using namespace glimmer;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif
#else
constexpr bool sanitized = false;
#endif

// Plays a metafile as a picture is shown, at its natural size onto white:
// "" when it plays, else the error's text. A refusal must be TooLarge and
// leave the canvas white.
std::string play(std::span<const std::byte> bytes)
{
    Image canvas;
    try {
        const Size size = wmf::naturalSize(bytes);
        canvas = Image(size, PixelFormat::Xrgb32);
        canvas.fill(White);
        wmf::render(canvas, bytes, canvas.rect());
        return "";
    } catch (const FormatError& e) {
        if (e.code() != FormatError::Code::TooLarge)
            return std::string("not TooLarge: ") + e.what();
        for (int y = 0; y < canvas.height(); ++y)
            for (int x = 0; x < canvas.width(); ++x)
                if (canvas.pixel(x, y) != White)
                    return std::string("drew before refusing: ") + e.what();
        return e.what();
    }
}

} // namespace

// Each bomb plays within the work budget or is refused with its exact error,
// also in a child held to a second of CPU and 512 MiB of address space.
TEST(MetafileBombs, PlayWithinTheBudgetOrAreRefused)
{
    for (const seeds::MetafileBomb& bomb : seeds::metafileBombs()) {
        SCOPED_TRACE(bomb.name);
        EXPECT_EQ(play(bomb.bytes), bomb.error);
#ifndef _WIN32   // no fork, no rlimits: the budget is checked in-process alone
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // The sanitizers are several times slower and reserve terabytes of addresses.
            const rlim_t seconds = sanitized ? 10 : 1;
            const rlimit cpu{seconds, seconds};
            ::setrlimit(RLIMIT_CPU, &cpu);
            if (!sanitized) {
                const rlimit memory{rlim_t{512} << 20, rlim_t{512} << 20};
                ::setrlimit(RLIMIT_AS, &memory);
            }
            _exit(play(bomb.bytes) == bomb.error ? 0 : 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status)) << "killed by " << strsignal(WTERMSIG(status));
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);
#endif
    }
}
