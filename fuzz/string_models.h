// string_models.h: what substring and string_field give, computed on
// std::string, for the string fuzzers to check the string stack against.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline std::string reference_substring(const std::string& text, int32_t start, int32_t length)
{
    if (length < 0) length = 0;
    size_t skip = start > 1 ? static_cast<size_t>(start) - 1 : 0;
    if (skip >= text.size()) return "";
    return text.substr(skip, static_cast<size_t>(length));
}

inline std::string reference_field(const std::string& text, int32_t index, char separator)
{
    if (index < 1) return "";
    std::vector<std::string> fields(1);
    for (char c : text) {
        if (separator != '\0' && c == separator) fields.emplace_back();
        else fields.back() += c;
    }
    return static_cast<size_t>(index) <= fields.size() ? fields[static_cast<size_t>(index) - 1] : "";
}
