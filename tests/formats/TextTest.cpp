#include "formats/Text.h"
#include "formats/FormatError.h"

#include <gtest/gtest.h>

#include <new>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <utility>

using namespace glimmer;

// One line of a message holds no control character and only UTF-8.
TEST(Printable, WritesOutControlsAndReplacesWhatIsNotUtf8)
{
    const struct {
        std::string_view in;
        std::string_view out;
    } cases[] = {
        {"plain.ipt", "plain.ipt"},
        {"\x05SummaryInformation", "\\x05SummaryInformation"},
        {"a\x1B[2J\rb\x7F", "a\\x1B[2J\\x0Db\\x7F"},
        {"\xC2\x85next", "\\x85next"},                    // C1 control U+0085
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"latin1 \xE9t\xE9", "latin1 \xEF\xBF\xBDt\xEF\xBF\xBD"},   // not UTF-8
        {"cut \xE2\x82", "cut \xEF\xBF\xBD\xEF\xBF\xBD"},
        {"overlong \xC0\xAF \xE0\x80\xAF", "overlong \xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"surrogate \xED\xA0\x80", "surrogate \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(printable(c.in), c.out) << c.in;
}

// A count on a command line is digits alone: no sign, no white space, no
// more than an int holds.
TEST(ParseCount, TakesDigitsAloneWithinInt)
{
    const struct {
        std::string_view in;
        std::optional<int> out;
    } cases[] = {
        {"0", 0}, {"240", 240}, {"007", 7}, {"2147483647", 2147483647},
        {"", std::nullopt}, {"+5", std::nullopt}, {"-5", std::nullopt}, {" 5", std::nullopt},
        {"5 ", std::nullopt}, {"5x", std::nullopt}, {"0x10", std::nullopt}, {"2147483648", std::nullopt},
        {"99999999999999999999", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseCount(c.in), c.out) << c.in;
}

// Whatever a step raises becomes one reason; running out of memory is told apart.
TEST(FormatError, GuardedTurnsAnyFailureIntoAReason)
{
    const struct {
        void (*step)();
        const char* reason;   // null: the step succeeds
        bool outOfMemory;
    } cases[] = {
        {[] {}, nullptr, false},
        {[] { throw FormatError(FormatError::Code::Truncated, "data ends early"); }, "data ends early", false},
        {[] { throw std::runtime_error("no such picture"); }, "no such picture", false},
        {[] { throw std::bad_alloc(); }, "Out of memory", true},
        {[] { throw 42; }, "Unknown error", false},
    };
    for (const auto& c : cases) {
        std::optional<StepFailure> failure;
        EXPECT_EQ(guarded(c.step, [&](StepFailure f) { failure = std::move(f); }), c.reason == nullptr);
        ASSERT_EQ(failure.has_value(), c.reason != nullptr);
        if (failure) {
            EXPECT_EQ(failure->reason, c.reason);
            EXPECT_EQ(failure->outOfMemory, c.outOfMemory);
        }
    }
}
