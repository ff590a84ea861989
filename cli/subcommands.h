// subcommands.h: every subcommand has one shape: its options, bound to the
// texts of an options struct; a check of those texts that gives its settings
// (settings.h, testable without the command-line library); and one function
// that does the work and returns the program's exit code. main.cpp holds the
// table of them.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "output_file.h"
#include "settings.h"
#include "source_file.h"

constexpr int EXIT_DONE = 0;
constexpr int EXIT_FAILED = 1;  // the work failed, its reason already on standard error
constexpr int EXIT_USAGE = 2;

struct Subcommand {
    const char* name;
    const char* help;
    // Adds the options to the subcommand `c`, bound to texts it keeps, and
    // returns the work: those texts checked, then run, giving the exit code.
    std::function<std::function<int()>(CLI::App& c)> add;
};

template <class Options, class Settings>
Subcommand make_subcommand(const char* name, const char* help, void (*bind)(CLI::App&, Options&),
                           Settings (*check)(const Options&), int (*run)(const Settings&))
{
    return {name, help, [bind, check, run](CLI::App& c) {
                auto given = std::make_shared<Options>();
                bind(c, *given);
                return std::function<int()>([given, check, run] { return run(check(*given)); });
            }};
}

void bind_view(CLI::App& c, ViewOptions& given);
int run_view(const ViewSettings& settings);

void bind_export(CLI::App& c, ExportOptions& given);
int run_export(const ExportSettings& settings);
// The bits of `file` (open as `source`) in `layout`, one pixel a bit (or
// `scale` x `scale` pixels), written to `out` as a PNG or PBM (`format`), as
// export writes them (and scan --export-dir); `past_end` gets how many
// pixels lay past the end of the file. False, with `why`, when a read
// (*unread then set), the encoder or a write fails.
bool write_export(SourceFile& source, OutputFile& out, PictureFormat format, const BitLayout& layout,
                  int64_t& past_end, std::string& why, bool* unread = nullptr, int64_t scale = 1);

void bind_cut(CLI::App& c, CutOptions& given);
int run_cut(const CutSettings& settings);

void bind_overview(CLI::App& c, OverviewOptions& given);
int run_overview(const OverviewSettings& settings);

void bind_guess_width(CLI::App& c, GuessWidthOptions& given);
int run_guess_width(const GuessWidthSettings& settings);

void bind_scan(CLI::App& c, ScanOptions& given);
int run_scan(const ScanSettings& settings);

void bind_find(CLI::App& c, FindOptions& given);
int run_find(const FindSettings& settings);
// The first `limit` matches of `file`, each to `list` in file order as it is
// confirmed (by find, and by explore's search box).
struct FoundMatches {
    bool cut = false;     // there were more than the limit
    bool failed = false;  // reported
    size_t listed = 0;
};
FoundMatches search_file(const std::string& file, const GlyphSearch& search, size_t limit,
                         const std::function<void(const GlyphMatch&)>& list, bool show_progress = true);

void bind_explore(CLI::App& c, ExploreOptions& given);
int run_explore(const ExploreSettings& settings);
