// numbers.cpp: strict readers of typed numbers. A typo must not become a
// different position: anything left over is an error.
#include "numbers.h"

#include <cstdlib>

bool parse_number(const std::string& text, int64_t& value)
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
    if (i == text.size()) return false;
    // The magnitude, allowed up to 2^63 so that the most negative value reads.
    const uint64_t limit = uint64_t{1} << 63;
    uint64_t magnitude = 0;
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
            return false;
        if (digit >= base) return false;
        if (magnitude > (limit - digit) / base) return false;
        magnitude = magnitude * base + digit;
    }
    if (!negative && magnitude == limit) return false;
    value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

bool parse_bit_position(const std::string& text, int64_t& bit)
{
    const size_t dot = text.find('.');
    int64_t byte = 0, within = 0;
    if (!parse_number(text.substr(0, dot), byte) || byte < 0) return false;
    if (dot != std::string::npos) {
        const std::string rest = text.substr(dot + 1);
        if (rest.size() != 1 || rest[0] < '0' || rest[0] > '7') return false;
        within = rest[0] - '0';
    }
    if (byte > (INT64_MAX - within) / 8) return false;
    bit = byte * 8 + within;
    return true;
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
