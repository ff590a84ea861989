// messages.cpp: what the program says, made safe for the terminal and the
// shell.
#include "messages.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "system.h"

std::string visible(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<uint8_t>(c);
        if (b < 0x20 || b == 0x7F) {
            char code[5];
            std::snprintf(code, sizeof code, "\\x%02X", b);
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

void report(const std::string& what, const std::string& why)
{
    write_error("bitloupe-cli: " + visible(what) + ": " + visible(why) + "\n");
}

std::function<void(int64_t)> progress_bar(const std::string& verb, int64_t size)
{
    if (!error_is_terminal() || size <= 0) return {};
    auto shown = std::make_shared<int32_t>(-1);
    return [verb, size, shown](int64_t done) {
        const int32_t percent = static_cast<int32_t>(done * 100 / size);
        if (percent == *shown) return;
        *shown = percent;
        write_error("\r" + verb + " [" + std::string(static_cast<size_t>(percent / 5), '#') +
                    std::string(static_cast<size_t>(20 - percent / 5), ' ') + "] " + std::to_string(percent) + "%");
    };
}

void clear_progress()
{
    if (error_is_terminal()) write_error("\r" + std::string(40, ' ') + "\r");
}

std::string counted(int64_t count, const std::string& one, const std::string& many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many.empty() ? one + "s" : many);
}

std::string score_text(double score)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", score);
    return text;
}

// A file name as a word of the shell the commands are typed into: as it is
// when it holds only characters the shell leaves alone, else quoted. On
// Windows that is in double quotes, the only ones cmd.exe and the C
// runtime's reading of a command line know (a name cannot hold one), and a
// backslash is a plain character; elsewhere in single quotes.
std::string shell_word(const std::string& text)
{
#ifdef _WIN32
    const std::string safe = "-_./:+,=@\\";
#else
    const std::string safe = "-_./:+,=@";
#endif
    const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [&](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               static_cast<unsigned char>(c) >= 0x80 || safe.find(c) != std::string::npos;
    });
    // A name that begins with - would be read as an option.
    const std::string lead = !text.empty() && text[0] == '-' ? "./" : "";
    if (plain) return lead + text;
#ifdef _WIN32
    // cmd.exe expands %NAME% even between quotes: each % stands outside
    // them, escaped (^%), between quoted parts the program reads as one word.
    std::string out = "\"" + lead;
    for (const char c : text) out += c == '%' ? std::string("\"^%\"") : std::string(1, c);
    return out + "\"";
#else
    // Control characters never reach the terminal as they are: the word is
    // then quoted as $'...', with them as \xHH.
    if (visible(text) != text) {
        std::string out = "$'" + lead;
        for (const char c : text) {
            const auto b = static_cast<uint8_t>(c);
            char code[5];
            std::snprintf(code, sizeof code, "\\x%02X", b);
            out += b < 0x20 || b == 0x7F || c == '\'' || c == '\\' ? std::string(code) : std::string(1, c);
        }
        return out + "'";
    }
    std::string out = "'" + lead;
    for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
#endif
}
