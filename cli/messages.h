// messages.h: what the program says, on the terminal and in the commands it
// prints: its one form of a failure, counts, a progress bar, and names made
// safe for the terminal and the shell.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Writes "bitloupe-cli: WHAT: WHY" and a line break to standard error.
void report(const std::string& what, const std::string& why);

// A bar on standard error showing how much of `size` bytes `verb` has gone
// through, when standard error is a terminal (an empty function when not);
// clear_progress() takes it away.
std::function<void(int64_t done)> progress_bar(const std::string& verb, int64_t size);
void clear_progress();

// Text as it may reach a terminal: control characters as \xHH.
std::string visible(const std::string& text);

// An output's name in messages: "standard output" for "-".
inline std::string output_name(const std::string& output)
{
    return output == "-" ? "standard output" : visible(output);
}

// A count and its noun, one or many: "1 byte", "2 bytes" ("" many: one + "s").
std::string counted(int64_t count, const std::string& one, const std::string& many = {});

// A score (0 to 1) as printed: four decimals.
std::string score_text(double score);

// A file name as a word of the shell the commands we print are typed into
// (POSIX shells; cmd.exe on Windows), quoted where it needs to be.
std::string shell_word(const std::string& text);
