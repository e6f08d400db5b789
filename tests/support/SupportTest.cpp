// The program runner and the JSON line reader that the programs' tests trust.
#include "tests/support/JsonObject.h"
#include "tests/support/Process.h"

#include <gtest/gtest.h>

#include <csignal>

using namespace glimmer::test;

#ifdef _WIN32
// Windows: the converter itself is the program run (there is no shell).
TEST(Process, GivesStatusOutputEnvironmentAndStopsARun)
{
    ProcessOptions options;
    options.environment = {{"GLIMMER_NO_SANDBOX", "1"}};
    const ProcessResult run = runProcess(GLIMMER_CONVERT, {"-v", "-q", "-n", "Z:\\no such \"folder\\\\"}, options);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "glimmerbox-convert: not confined (GLIMMER_NO_SANDBOX=1)\n"
                       "glimmerbox-convert: Z:\\no such \"folder\\\\: no such file or folder\n");
    const ProcessResult version = runProcess(GLIMMER_CONVERT, {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.starts_with("glimmerbox-convert ")) << version.out;

    options.timeout = std::chrono::milliseconds(1);
    const ProcessResult stopped = runProcess(GLIMMER_CONVERT, {"--version"}, options);
    EXPECT_TRUE(stopped.timedOut);
    EXPECT_EQ(stopped.exitCode, -1);

    EXPECT_EQ(runProcess("Z:\\no\\such\\program.exe", {}).exitCode, 127);
}
#else
TEST(Process, GivesStatusOutputEnvironmentAndLimitsAndStopsAHang)
{
    ProcessOptions options;
    options.environment = {{"GLIMMER_TEST_WORD", "word"}};
    options.limits = {{RLIMIT_FSIZE, 4096}};
    const ProcessResult run =
        runProcess("sh", {"-c", "echo $GLIMMER_TEST_WORD; ulimit -f; echo e >&2; exit 7"}, options);
    EXPECT_EQ(run.exitCode, 7);
    EXPECT_EQ(run.out, "word\n8\n");   // ulimit -f counts blocks of 512 bytes
    EXPECT_EQ(run.err, "e\n");

    const ProcessResult killed = runProcess("sh", {"-c", "kill -TERM $$"});
    EXPECT_EQ(killed.exitCode, -1);
    EXPECT_EQ(killed.signal, SIGTERM);

    options.timeout = std::chrono::milliseconds(200);
    const ProcessResult hang = runProcess("sleep", {"30"}, options);
    EXPECT_TRUE(hang.timedOut);
    EXPECT_EQ(hang.exitCode, -1);

    EXPECT_EQ(runProcess("/no/such/program", {}).exitCode, 127);
}
#endif

TEST(JsonObject, ReadsOnlyStrictJson)
{
    const auto o = JsonObject::parse(R"( {"a":"\u00E9\"\ud83d\ude00","b":-12,"c":null,"d":true,"e":1.5e3} )");
    ASSERT_TRUE(o);
    EXPECT_EQ(o->string("a"), "\xC3\xA9\"\xF0\x9F\x98\x80");
    EXPECT_EQ(o->number("b"), -12);
    EXPECT_EQ(o->number("c"), 0);
    EXPECT_EQ(o->string("b"), "");
    for (const char* bad : {R"({"a":"x)" "\n" R"(y"})", R"({"a":1} x)", "{\"a\":\"\xff\"}", "{\"a\":\"\xC0\xAF\"}",
                            R"({"a":"\q"})", R"({"a":"\ud800"})", R"({"a":"\u00g0"})", R"({"a":01})", R"({"a":1,})",
                            R"({"a" 1})", R"({"a":1,"a":2})", R"({"a":"open})"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(JsonObject::parse(bad));
    }
}
