// options.cpp: reading option values the same way in every subcommand.
#include "options.h"

#include <cstdio>

#include "finding.h"
#include "numbers.h"

// Reads option `name`'s text as a number within low..high.
int64_t number_option(const std::string& name, const std::string& text, int64_t low, int64_t high)
{
    int64_t value = 0;
    const Parsed read = read_number(text, value);
    const std::string range = " (" + std::to_string(low) + " to " + std::to_string(high) + ")";
    if (read == Parsed::not_a_number) throw Usage{name, "not a number: \"" + text + "\""};
    if (read == Parsed::too_large) throw Usage{name, text + " is too large" + range};
    if (value < low || value > high) throw Usage{name, std::to_string(value) + " is out of range" + range};
    return value;
}

double decimal_option(const std::string& name, const std::string& text, double low, double high)
{
    double value = 0;
    if (!parse_decimal(text, value)) throw Usage{name, "not a number: \"" + text + "\""};
    if (value < low || value > high) {
        char range[64];
        std::snprintf(range, sizeof range, " is out of range (%g to %g)", low, high);
        throw Usage{name, text + range};
    }
    return value;
}

double min_score_option(const std::string& text)
{
    return text.empty() ? SCAN_DEFAULT_MIN_SCORE : decimal_option("--min-score", text, 0.0, 1.0);
}

std::string min_score_help(const char* what)
{
    char text[64];
    std::snprintf(text, sizeof text, ", 0 to 1 (default %g)", SCAN_DEFAULT_MIN_SCORE);
    return what + std::string(text);
}

void need_format(const std::string& output, std::initializer_list<PictureFormat> formats, const char* names)
{
    const PictureFormat format = picture_format(output);
    for (PictureFormat f : formats)
        if (f == format) return;
    throw Usage{"--output", "\"" + output + "\" must end in " + names};
}

