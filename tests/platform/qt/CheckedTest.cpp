#include "platform/Checked.h"
#include "platform/ErrorRecord.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

using namespace glimmer;

TEST(Checked, ProductsAndDifferencesThatLeave32BitsAreOverflows)
{
    constexpr std::int32_t max = std::numeric_limits<std::int32_t>::max();
    EXPECT_EQ(checked::mul<std::int32_t>(46340, 46340), 2147395600);
    EXPECT_THROW(checked::mul<std::int32_t>(46341, 46341), OverflowError);
    EXPECT_THROW(checked::add<std::int32_t>(max, 1), OverflowError);
    EXPECT_THROW(checked::sub<std::int32_t>(std::numeric_limits<std::int32_t>::min(), 1), OverflowError);
    EXPECT_THROW(checked::neg<std::int32_t>(std::numeric_limits<std::int32_t>::min()), OverflowError);
    EXPECT_THROW(checked::add<std::int16_t>(32767, 1), OverflowError);
    EXPECT_THROW(checked::narrow<std::int16_t>(40000), OverflowError);
    EXPECT_EQ(checked::narrow<std::int16_t>(-32768), -32768);
}

TEST(Checked, RoundingGoesHalfToEven)
{
    EXPECT_EQ(checked::roundToInt32(2.5), 2);
    EXPECT_EQ(checked::roundToInt32(3.5), 4);
    EXPECT_EQ(checked::roundToInt32(-2.5), -2);
    EXPECT_EQ(checked::roundToInt32(3.75), 4);
    EXPECT_THROW(checked::roundToInt32(2147483648.0), OverflowError);
    EXPECT_THROW(checked::roundToInt32(std::numeric_limits<double>::quiet_NaN()), OverflowError);
}

TEST(ErrorRecord, AFailingStepIsRecordedAndTheNextOneRuns)
{
    ErrorRecord errors;
    int ran = 0;
    EXPECT_FALSE(errors.step([] { throw OverflowError(); }));
    EXPECT_TRUE(errors.step([&] { ++ran; }));
    EXPECT_EQ(ran, 1);
    // A later success does not clear what an earlier step recorded.
    EXPECT_TRUE(errors.isSet());
    EXPECT_EQ(errors.number(), RuntimeError::Overflow);
    errors.clear();
    EXPECT_FALSE(errors.isSet());
    EXPECT_FALSE(errors.step([] { throw std::bad_alloc(); }));
    EXPECT_EQ(errors.number(), RuntimeError::OutOfMemory);
    EXPECT_FALSE(errors.step([] { throw std::runtime_error("no such picture"); }));
    EXPECT_EQ(errors.number(), RuntimeError::PathFileAccess);
    EXPECT_EQ(errors.description(), "no such picture");
}
