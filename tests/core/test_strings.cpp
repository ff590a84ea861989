#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "fault_switch.h"
#include "heap.h"
#include "memory.h"
#include "strings.h"

namespace {

// Moves the position so close to the end of the buffer that the next result
// of three or more bytes has to grow (and usually move) the stack.
// Moves the position past the zero byte of what is on the stack and up to just
// below the point where the next reservation of a few bytes moves the buffer.
int32_t near_end()
{
    int32_t position = string_position() + 1;
    if (g_string_manager.capacity - 6 - position < 0) reserve_string_space(1, position);
    reserve_string_space(g_string_manager.capacity - 6 - position, position);
    return string_position();
}

// Runs an operation that writes at the position and returns its result,
// checking that the position ends just after it; the position is then reset.
template <typename Operation>
std::string result_of(Operation operation)
{
    int32_t start = string_position();
    operation(start);
    std::string text = string_at(start);
    EXPECT_EQ(string_position(), start + static_cast<int32_t>(text.size()));
    set_string_position(start);
    return text;
}

std::string quad(int64_t v)
{
    return result_of([&](int32_t at) { quad_to_text(v, at); });
}

std::string sub(const char* text, int32_t start, int32_t length)
{
    return result_of([&](int32_t at) { substring(text, start, length, at); });
}

std::string field(const char* text, int32_t index, const char* separator)
{
    return result_of([&](int32_t at) { string_field(text, index, separator, at); });
}

}  // namespace

TEST(StringNumbers, Conversions)
{
    EXPECT_EQ(quad(0), "0");
    EXPECT_EQ(quad(-1), "-1");
    EXPECT_EQ(quad(2147483648LL), "2147483648");
    EXPECT_EQ(quad(-2147483648LL), "-2147483648");
    EXPECT_EQ(quad(INT64_MIN), "-9223372036854775808");

    EXPECT_EQ(text_to_number("  -42abc"), -42);
    EXPECT_EQ(text_to_number("\t$fF"), 255);
    EXPECT_EQ(text_to_number("%1012"), 5);
    EXPECT_EQ(text_to_number("+7"), 7);
    EXPECT_EQ(text_to_number("- 5"), 0);
    EXPECT_EQ(text_to_number("abc") + text_to_number("") + text_to_number("0000"), 0);
    EXPECT_EQ(text_to_number("18446744073709551621"), 5);  // 2^64 + 5 wraps around

    EXPECT_EQ(double_to_long(2.9), 2);
    EXPECT_EQ(double_to_long(-2.9), -2);
    EXPECT_EQ(double_to_long(-2147483648.9), INT32_MIN);
    EXPECT_EQ(double_to_long(INFINITY), 0);
    EXPECT_EQ(double_to_long(-INFINITY), 0);
    EXPECT_EQ(double_to_long(NAN), 0);
    EXPECT_EQ(double_to_long(1e300), 0);
}

TEST(StringOps, SubstringAndField)
{
    EXPECT_EQ(sub("abc", 5, 1), "");
    EXPECT_EQ(sub("abc", 0, 2), "ab");
    EXPECT_EQ(sub("abc", 2, -3), "");
    EXPECT_EQ(sub("abc", 2, INT32_MAX), "bc");
    EXPECT_EQ(field("x|y|z", 2, "|"), "y");
    EXPECT_EQ(field("x|y|z", 3, "|-"), "z");
    EXPECT_EQ(field("x|y|z", 4, "|"), "");
    EXPECT_EQ(field("x|y|z", 0, "|"), "");
    EXPECT_EQ(field("one", 1, ""), "one");
    EXPECT_EQ(field("a\nbc\n", 2, "\n"), "bc");
}

TEST(StringStack, SourceOnTheStackSurvivesGrowth)
{
    int32_t start = string_position();
    append_string("hello|world");
    int32_t end = near_end();
    substring(string_at(start), 7, 5, end);
    EXPECT_STREQ(string_at(end), "world");
    end = near_end();
    string_field(string_at(start), 1, "|", end);
    EXPECT_STREQ(string_at(end), "hello");
    end = near_end();
    append_string(string_at(start));
    EXPECT_STREQ(string_at(end), "hello|world");
    set_string_position(start);
}

TEST(StringStack, ExpressionsAndVariables)
{
    int32_t start = string_position();
    append_string("x: ");
    long_to_text(-42, string_position());
    StringVar v = nullptr;
    store_string(&v, start);
    EXPECT_STREQ(v, "x: -42");
    EXPECT_EQ(string_position(), start);

    // An expression longer than the whole buffer keeps its earlier pieces.
    std::string expected;
    for (auto capacity = static_cast<size_t>(g_string_manager.capacity); expected.size() <= capacity;) {
        std::string piece(1000, static_cast<char>('a' + expected.size() / 1000 % 26));
        append_string(piece.c_str());
        expected += piece;
    }
    store_string(&v, start);
    EXPECT_EQ(std::string(v), expected);

    EXPECT_EQ(assign_string(&v, "abcdef"), 7);
    EXPECT_EQ(assign_string(&v, v + 4), 3);  // a tail of its own value
    EXPECT_STREQ(v, "ef");
    EXPECT_EQ(assign_string(&v, nullptr), 1);
    EXPECT_EQ(v, nullptr);
    EXPECT_EQ(strings_equal(v, ""), 1);
    EXPECT_EQ(strings_equal("e", "ef"), 0);
}

TEST(StringStack, AllocationFailuresGiveEmptyResults)
{
    int32_t start = string_position();
    append_string("keep");
    char* buffer = g_string_manager.stack;
    int32_t end = near_end();
    fail_allocation_after(0);
    append_string("12345678");
    EXPECT_EQ(string_position(), end);
    fail_allocation_after(0);
    quad_to_text(INT64_MIN, end);
    EXPECT_STREQ(string_at(end), "");
    EXPECT_EQ(string_position(), end);
    EXPECT_EQ(g_string_manager.stack, buffer);
    EXPECT_EQ(std::string(string_at(start), 4), "keep");

    StringVar v = nullptr;
    assign_string(&v, "old");
    set_string_position(start + 4);
    fail_allocation_after(0);
    store_string(&v, start);
    EXPECT_EQ(v, nullptr);
    EXPECT_EQ(string_position(), start);
    fail_allocation_after(-1);
}

TEST(MemoryBlocks, AllocateAndPeek)
{
    EXPECT_EQ(allocate_memory(0), nullptr);
    EXPECT_EQ(allocate_memory(-5), nullptr);
    auto* block = static_cast<unsigned char*>(allocate_memory(300));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 300; ++i) ASSERT_EQ(block[i], 0) << i;
    block[7] = 0xFF;
    EXPECT_EQ(peek_byte(block + 7), -1);
    free_memory(block);
}
