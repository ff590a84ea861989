// settings.h: what each subcommand is given (its options' texts, as typed)
// and the settings it works with, checked. The checks need no command-line
// library: each check_*() reads the texts, throws Usage for a value that
// cannot be taken, and returns settings the work can rely on.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "finding.h"
#include "glyph_search.h"
#include "layout.h"
#include "pictures.h"
#include "scan_file.h"
#include "view.h"

// A value the command line gave that is not acceptable: reported as
// "bitloupe-cli: WHAT: WHY", exit code 2.
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

// view: the viewer's canvas for a view of a file.
struct ViewOptions {
    std::string file, output, width = "1", start = "0", zoom = "1", grid_size = "8,8", state;
    bool grid = false, multi = false, align = false, invert = false;
};
struct ViewSettings {
    std::string file, output;
    ViewParameters view;
};
ViewSettings check_view(const ViewOptions& given);

// export: a file's bits as a picture, one pixel a bit.
struct ExportOptions {
    std::string file, output, start = "0", width, rows, stride, tile, tiles_per_row, scale = "1";
    bool lsb = false, vertical = false, bottom_up = false, invert = false;
};
struct ExportSettings {
    std::string file, output;
    BitLayout layout;         // one row (or row of cells) when to_the_end, until the file's size is known
    bool to_the_end = false;  // as many rows as reach the end of the file
    int64_t scale = 1;        // pixels a side of a bit
};

constexpr int64_t EXPORT_DEFAULT_TILES_PER_ROW = 16;
constexpr int64_t EXPORT_MAX_SCALE = 16;
ExportSettings check_export(const ExportOptions& given);

// cut: bytes of a file as they are (or complemented).
struct CutOptions {
    std::string file, output, start, count;
    bool invert = false;
};
struct CutSettings {
    std::string file, output;
    int64_t start = 0;  // a negative start skips to byte 0
    int64_t count = 0;  // at least 1
    bool invert = false;
};
CutSettings check_cut(const CutOptions& given);

// overview: one picture of a whole file, a pixel a block.
struct OverviewOptions {
    std::string file, output, block, min_score;
    bool json = false;
};
struct OverviewSettings {
    std::string file, output;  // no output: the JSON alone
    int64_t block = 0;         // 0: the least that fits the picture, once the size is known
    double min_score = SCAN_DEFAULT_MIN_SCORE;
    bool json = false;
};
OverviewSettings check_overview(const OverviewOptions& given);

// guess-width: the likely row widths of the bits from a place on.
struct GuessWidthOptions {
    std::string file, start, length = "4096";
    bool json = false;
};
struct GuessWidthSettings {
    std::string file;
    int64_t start_bit = 0;
    int64_t length = 0;  // bytes judged, 1 to a read window
    bool json = false;
};
GuessWidthSettings check_guess_width(const GuessWidthOptions& given);

// scan: the regions of a file that look like 1-bit graphics.
struct ScanOptions {
    std::string file, min_bytes = std::to_string(SCAN_MIN_BYTES), min_score, order = "score", report, export_dir,
        max_regions = std::to_string(SCAN_DEFAULT_MAX_REGIONS);
    bool json = false;
};
struct ScanSettings {
    std::string file;
    int64_t min_bytes = SCAN_MIN_BYTES;
    double min_score = SCAN_DEFAULT_MIN_SCORE;
    RegionOrder order = RegionOrder::score;
    std::string report, export_dir;  // empty: none
    bool json = false;
    int64_t max_regions = SCAN_DEFAULT_MAX_REGIONS;
};
ScanSettings check_scan(const ScanOptions& given);

// explore: the file in the browser.
struct ExploreOptions {
    std::string file, port;
    bool no_open = false;
};
struct ExploreSettings {
    std::string file;
    int64_t port = 0;  // 0: one the system gives
    bool no_open = false;
};
ExploreSettings check_explore(const ExploreOptions& given);

// find: a small picture given by example.
struct FindOptions {
    std::string file, glyph, stride, max_errors = "0", max_matches = "100000";
    bool json = false;
};
struct FindSettings {
    std::string file;
    std::string pattern_file;  // the pattern is read from this file (--glyph @FILE), then taken by take_pattern
    GlyphPattern pattern{};    // otherwise the pattern given
    int32_t stride = 0;        // 0: every stride from 1 to 80 bytes
    int32_t max_errors = 0;
    int64_t max_matches = 0;
    bool json = false;
};
FindSettings check_find(const FindOptions& given);
// Reads the pattern's text into `settings` and checks it against the stride
// and the errors allowed.
void take_pattern(FindSettings& settings, const std::string& text);
