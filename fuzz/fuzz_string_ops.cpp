// fuzz_string_ops.cpp: substring and string_field against std::string models.
//
// The input gives the parameters (start, length, field index, separator, where
// the text and the result go) and then the text itself. The text is either an
// ordinary string or a value already on the string stack; the result goes
// just after it, far enough away that the stack has to grow (and move), or on
// top of the text itself. Every result, and the position after it, is checked.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "heap.h"
#include "strings.h"
#include "string_models.h"

namespace {

// Small values are the interesting ones; now and then any 32-bit value.
int32_t pick_int(FuzzedDataProvider& input)
{
    if (input.ConsumeIntegralInRange<int>(0, 7) == 0) return input.ConsumeIntegral<int32_t>();
    return input.ConsumeIntegralInRange<int32_t>(-3, 40);
}

// Puts the stack back to its starting size, so that every run that places
// its result far enough up makes it grow (and move) again. The stack itself
// never shrinks; without this only the first few runs would see it move.
void shrink_stack()
{
    StringManager& m = g_string_manager;
    if (m.capacity > 16) {
        auto* smaller = static_cast<char*>(heap_realloc(m.heap, m.stack, 16 + 5));
        if (!smaller) std::abort();
        m.stack = smaller;
        m.capacity = 16;
    }
    set_string_position(0);
}

void check_result(int32_t position, const std::string& expected)
{
    if (string_position() != position + static_cast<int32_t>(expected.size())) std::abort();
    if (std::memcmp(string_at(position), expected.c_str(), expected.size() + 1) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool initialised = false;
    if (!initialised) {
        init_main_heap();
        init_string_manager();
        initialised = true;
    }
    FuzzedDataProvider input(data, size);
    int32_t start = pick_int(input);
    int32_t length = pick_int(input);
    int32_t index = pick_int(input);
    std::string separator = input.ConsumeBytesAsString(input.ConsumeIntegralInRange<size_t>(0, 2));
    int placement = input.ConsumeIntegralInRange<int>(0, 3);
    int32_t padding = input.ConsumeIntegralInRange<int32_t>(0, 40000);
    std::string text = input.ConsumeRemainingBytesAsString();
    text.resize(std::strlen(text.c_str()));
    separator.resize(std::strlen(separator.c_str()));

    std::string expected_sub = reference_substring(text, start, length);
    std::string expected_field = reference_field(text, index, separator.empty() ? '\0' : separator[0]);

    // Runs one operation on the text, placed as the input asks, and checks it.
    auto run = [&](auto operation, const std::string& expected) {
        shrink_stack();
        const char* source = text.c_str();
        int32_t position = 0;
        if (placement != 0) {
            append_string(text.c_str());
            if (string_position() != static_cast<int32_t>(text.size())) std::abort();
            position = string_position();
            // The padding leaves the result far enough up to make the stack
            // grow; its bound keeps the stack from growing without end.
            if (placement == 2 && !reserve_string_space(padding, position)) std::abort();
            if (placement == 2) position += padding;
            if (placement == 3) position = 0;
            source = string_at(0);
        }
        operation(source, position);
        check_result(position, expected);
    };
    run([&](const char* source, int32_t position) { substring(source, start, length, position); },
        expected_sub);
    run([&](const char* source, int32_t position) {
        string_field(source, index, separator.c_str(), position);
    }, expected_field);
    set_string_position(0);
    return 0;
}
