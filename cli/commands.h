// commands.h: the work of each subcommand, once its command line is read.
// Each returns the program's exit code: 0 done, 1 the work failed (its
// message already written to standard error).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "layout.h"
#include "pictures.h"
#include "view.h"

constexpr int EXIT_DONE = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;

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

class SourceFile;
// Opens `file` for reading and arms the report of a file that shrinks while
// it is read; on failure reports why and returns false.
bool open_source(SourceFile& source, const std::string& file);

// The viewer's canvas for `view` over the file, as a PNG or PPM.
int run_view(const std::string& file, const std::string& output, const ViewParameters& view);

// The file's bits in `layout`, one pixel a bit, as a PNG or PBM; with
// `to_the_end`, as many rows as reach the end of the file.
int run_export(const std::string& file, const std::string& output, BitLayout layout, bool to_the_end = false);

class OutputFile;
// The bits of `file` (open as `source`) in `layout`, one pixel a bit, written
// to `out` as a PNG or PBM (`format`), as the export command writes them;
// `past_end` gets how many pixels lay past the end of the file. False, with
// `why`, when a read (*unread then set), the encoder or a write fails.
bool write_export(SourceFile& source, const std::string& file, OutputFile& out, PictureFormat format,
                  const BitLayout& layout, int64_t& past_end, std::string& why, bool* unread = nullptr);

// `count` bytes from `start` on (those that exist), complemented with `invert`.
int run_cut(const std::string& file, const std::string& output, int64_t start, int64_t count, bool invert);

// A file name as a word of the shell the commands we print are typed into
// (POSIX shells; cmd.exe on Windows), quoted where it needs to be.
std::string shell_word(const std::string& text);
