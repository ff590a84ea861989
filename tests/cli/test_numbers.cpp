// Numbers and bit positions as typed: what is a number, and what is one too
// large for 64 bits (told apart, so that a message can say which).
#include <gtest/gtest.h>

#include "numbers.h"

namespace {

TEST(Numbers, ValuesTypoAndTooLargeAreToldApart)
{
    struct Case {
        const char* text;
        Parsed read;
        int64_t value;
    };
    const Case numbers[] = {
        {"7936", Parsed::value, 7936},
        {"0x1F00", Parsed::value, 0x1F00},
        {"$1f00", Parsed::value, 0x1F00},
        {"%1010", Parsed::value, 10},
        {"-8", Parsed::value, -8},
        {"-9223372036854775808", Parsed::value, INT64_MIN},
        {"9223372036854775807", Parsed::value, INT64_MAX},
        {"9223372036854775808", Parsed::too_large, 0},
        {"99999999999999999999", Parsed::too_large, 0},
        {"0x10000000000000000", Parsed::too_large, 0},
        {"99999999999999999999x", Parsed::not_a_number, 0},
        {"12a", Parsed::not_a_number, 0},
        {"0x", Parsed::not_a_number, 0},
        {"%102", Parsed::not_a_number, 0},
        {"", Parsed::not_a_number, 0},
    };
    for (const Case& c : numbers) {
        int64_t value = 0;
        EXPECT_EQ(read_number(c.text, value), c.read) << c.text;
        if (c.read == Parsed::value) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
    const Case positions[] = {
        {"1.7", Parsed::value, 15},
        {"0x10.0", Parsed::value, 128},
        {"1152921504606846975.7", Parsed::value, INT64_MAX},
        {"1152921504606846976.0", Parsed::too_large, 0},
        {"99999999999999999999.1", Parsed::too_large, 0},
        {"1.8", Parsed::not_a_number, 0},
        {"-1.0", Parsed::not_a_number, 0},
        {"1.", Parsed::not_a_number, 0},
    };
    for (const Case& c : positions) {
        int64_t bit = 0;
        EXPECT_EQ(read_bit_position(c.text, bit), c.read) << c.text;
        if (c.read == Parsed::value) {
            EXPECT_EQ(bit, c.value) << c.text;
        }
    }
}

}  // namespace
