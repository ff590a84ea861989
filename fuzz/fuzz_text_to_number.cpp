// fuzz_text_to_number.cpp: text_to_number against a plain reference parser.
//
// The input bytes, up to the first zero byte, are the text. The reference is
// written separately from the runtime's parser on purpose: it looks digits up
// in a table of characters and keeps the value in unsigned 64-bit arithmetic,
// which wraps the same way the runtime promises to.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "heap.h"
#include "strings.h"

namespace {

int64_t reference_number(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    const char* digits = "0123456789";
    uint64_t base = 10;
    if (i < text.size() && text[i] == '$') {
        digits = "0123456789ABCDEFabcdef";
        base = 16;
        ++i;
    } else if (i < text.size() && text[i] == '%') {
        digits = "01";
        base = 2;
        ++i;
    }
    uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const char* found = std::strchr(digits, text[i]);
        if (!found || text[i] == '\0') break;
        auto digit = static_cast<uint64_t>(found - digits);
        if (digit >= 16) digit -= 6;  // the lower-case hex letters
        value = value * base + digit;
    }
    if (negative) value = 0 - value;
    return static_cast<int64_t>(value);
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
    std::string text(reinterpret_cast<const char*>(data), size);
    text.resize(std::strlen(text.c_str()));
    if (text_to_number(text.c_str()) != reference_number(text)) std::abort();
    return 0;
}
