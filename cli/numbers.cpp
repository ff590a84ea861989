// numbers.cpp: strict readers of typed numbers. A typo must not become a
// different position: anything left over is an error.
#include "numbers.h"

#include <cstdlib>

bool parse_number(const std::string& text, int64_t& value)
{
    return read_number(text, value) == Parsed::value;
}

Parsed read_number(const std::string& text, int64_t& value)
{
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    unsigned base = 10;
    if (text.compare(i, 2, "0x") == 0 || text.compare(i, 2, "0X") == 0) {
        base = 16;
        i += 2;
    } else if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i < text.size() && text[i] == '%') {
        base = 2;
        ++i;
    }
    if (i == text.size()) return Parsed::not_a_number;
    // The magnitude, allowed up to 2^63 so that the most negative value
    // reads; past it the digits are still checked, so that a long typo is
    // no number rather than too large.
    const uint64_t limit = uint64_t{1} << 63;
    uint64_t magnitude = 0;
    bool overflow = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return Parsed::not_a_number;
        if (digit >= base) return Parsed::not_a_number;
        if (overflow || magnitude > (limit - digit) / base)
            overflow = true;
        else
            magnitude = magnitude * base + digit;
    }
    if (overflow || (!negative && magnitude == limit)) return Parsed::too_large;
    value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    return Parsed::value;
}

bool parse_bit_position(const std::string& text, int64_t& bit)
{
    return read_bit_position(text, bit) == Parsed::value;
}

Parsed read_bit_position(const std::string& text, int64_t& bit)
{
    const size_t dot = text.find('.');
    int64_t byte = 0, within = 0;
    if (dot != std::string::npos) {
        const std::string rest = text.substr(dot + 1);
        if (rest.size() != 1 || rest[0] < '0' || rest[0] > '7') return Parsed::not_a_number;
        within = rest[0] - '0';
    }
    const Parsed read = read_number(text.substr(0, dot), byte);
    if (read != Parsed::value) return read;
    if (byte < 0) return Parsed::not_a_number;
    if (byte > (INT64_MAX - within) / 8) return Parsed::too_large;
    bit = byte * 8 + within;
    return Parsed::value;
}

bool parse_pair(const std::string& text, int64_t& first, int64_t& second)
{
    const size_t split = text.find_first_of(",xX", text.compare(0, 2, "0x") == 0 ? 2 : 0);
    if (split == std::string::npos) return false;
    return parse_number(text.substr(0, split), first) && parse_number(text.substr(split + 1), second);
}

bool parse_decimal(const std::string& text, double& value)
{
    size_t i = text.empty() || (text[0] != '+' && text[0] != '-') ? 0 : 1;
    bool digits = false, point = false;
    for (; i < text.size(); ++i) {
        if (text[i] >= '0' && text[i] <= '9')
            digits = true;
        else if (text[i] == '.' && !point)
            point = true;
        else
            return false;
    }
    if (!digits) return false;
    // What is left is what strtod reads in the C locale, the program's own.
    value = std::strtod(text.c_str(), nullptr);
    return true;
}
