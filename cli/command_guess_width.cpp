// command_guess_width.cpp: `bitloupe-cli guess-width`, the likely row widths
// of the bits from a place in a file on, best first.
#include <cstdio>
#include <string>
#include <vector>

#include "command_files.h"
#include "messages.h"
#include "report.h"
#include "subcommands.h"
#include "system.h"

void bind_guess_width(CLI::App& c, GuessWidthOptions& given)
{
    c.add_option("FILE", given.file, "the file to read")->required();
    c.add_option("--start", given.start, "the first bit of the graphics: BYTE or BYTE.BIT")->required();
    c.add_option("--length", given.length, "how many bytes to judge (default 4096)");
    c.add_flag("--json", given.json, "print one JSON object {start, length, candidates: [{width_bits, score}]}");
}

int run_guess_width(const GuessWidthSettings& settings)
{
    const std::string& file = settings.file;
    // A start of BYTE.BIT: the bits from there on, shifted to a byte.
    const int64_t first = settings.start_bit / 8;
    const int32_t shift = static_cast<int32_t>(settings.start_bit % 8);
    const int64_t wanted = settings.length;
    SourceFile source;
    if (!open_source(source, file)) return EXIT_FAILED;
    if (first >= source.size()) {
        report(file, "--start " + std::to_string(first) + " is past the end (" + counted(source.size(), "byte") + ")");
        return EXIT_FAILED;
    }
    const int64_t n = std::min(wanted, source.size() - first);
    const int64_t read = std::min(n + (shift ? 1 : 0), source.size() - first);
    std::vector<uint8_t> bytes(static_cast<size_t>(read) + 1, 0);
    std::string why;
    if (!source.read(first, read, bytes.data(), why)) {
        report(file, why);
        return EXIT_FAILED;
    }
    if (shift)
        for (int64_t i = 0; i < n; ++i)
            bytes[static_cast<size_t>(i)] =
                static_cast<uint8_t>(bytes[static_cast<size_t>(i)] << shift | bytes[static_cast<size_t>(i) + 1] >> (8 - shift));
    bytes.resize(static_cast<size_t>(n));
    WidthGuess guess[GUESS_MAX_CANDIDATES];
    const int32_t count = guess_widths(bytes.data(), n, guess, GUESS_MAX_CANDIDATES);
    std::string out;
    if (settings.json) {
        out = "{\"start\": " + std::to_string(first) + (shift ? ", \"bit\": " + std::to_string(shift) : std::string()) +
              ", \"length\": " + std::to_string(n) + ", \"candidates\": [";
        for (int32_t i = 0; i < count; ++i)
            out += std::string(i ? ", " : "") + "{\"width_bits\": " + std::to_string(guess[i].width_bits) +
                   ", \"score\": " + score_text(guess[i].score) + "}";
        out += "]}\n";
    } else {
        out = shift ? "the bits from " + std::to_string(first) + "." + std::to_string(shift) + " on, " + counted(n, "byte") + ":"
                    : "bytes " + std::to_string(first) + " to " + std::to_string(first + n - 1) + ":";
        out += count ? "\n  width_bits  score   viewer width\n" : " no row width stands out\n";
        for (int32_t i = 0; i < count; ++i) {
            char line[96];
            const int32_t w = guess[i].width_bits;
            std::snprintf(line, sizeof line, "  %10d  %.4f  %s\n", w, guess[i].score,
                          w % 8 == 0 && w / 8 <= 80 ? std::to_string(w / 8).c_str() : "-");
            out += line;
        }
    }
    write_out(out);
    return EXIT_DONE;
}
