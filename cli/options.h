// options.h: what every subcommand uses to read its command line.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <initializer_list>
#include <string>

#include "pictures.h"

// A value the command line gave that is not acceptable: thrown from a
// subcommand's callback, reported as "bitloupe-cli: WHAT: WHY", exit code 2.
struct Usage {
    std::string what;
    std::string why;
};

// Reads option `name`'s text as a number within low..high.
int64_t number_option(const std::string& name, const std::string& text, int64_t low, int64_t high);

// Reads option `name`'s text as a decimal fraction within low..high.
double decimal_option(const std::string& name, const std::string& text, double low, double high);

// --min-score, the least score of the regions scan lists (0 to 1): the
// engine's default when not given (empty). Its help text follows.
double min_score_option(const std::string& text);
std::string min_score_help(const char* what);

// Requires `output` to end in one of the picture formats `formats` (named
// in `names` for the message).
void need_format(const std::string& output, std::initializer_list<PictureFormat> formats, const char* names);

// A subcommand kept in a file of its own: adds itself to `app`; its callback
// sets `result` to the exit code of its work.
using AddSubcommand = void (*)(CLI::App& app, int& result);

// overview: a picture of the whole file (command_overview.cpp).
void add_overview_command(CLI::App& app, int& result);
// find: a small picture given by example (command_find.cpp).
void add_find_command(CLI::App& app, int& result);
// guess-width and scan (command_find_graphics.cpp).
void add_guess_width_command(CLI::App& app, int& result);
void add_scan_command(CLI::App& app, int& result);

// Those subcommands, in the order --help lists them.
inline constexpr AddSubcommand MORE_SUBCOMMANDS[] = {
    add_overview_command,
    add_guess_width_command,
    add_scan_command,
    add_find_command,
};
