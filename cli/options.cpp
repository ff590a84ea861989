// options.cpp: reading option values the same way in every subcommand.
#include "options.h"

#include "numbers.h"

// Reads option `name`'s text as a number within low..high.
int64_t number_option(const std::string& name, const std::string& text, int64_t low, int64_t high)
{
    int64_t value = 0;
    if (!parse_number(text, value)) throw Usage{name, "not a number: \"" + text + "\""};
    if (value < low || value > high)
        throw Usage{name, std::to_string(value) + " is out of range (" + std::to_string(low) + " to " +
                              std::to_string(high) + ")"};
    return value;
}

void need_format(const std::string& output, std::initializer_list<PictureFormat> formats, const char* names)
{
    const PictureFormat format = picture_format(output);
    for (PictureFormat f : formats)
        if (f == format) return;
    throw Usage{"--output", "\"" + output + "\" must end in " + names};
}

