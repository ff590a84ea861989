// settings.cpp: reading every subcommand's options the same way, and the
// checks of each subcommand's settings.
#include "settings.h"

#include <cstdio>

#include "messages.h"
#include "numbers.h"
#include "source_file.h"

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

namespace {

// A start of BYTE or BYTE.BIT up to the furthest position.
int64_t bit_position_option(const std::string& text)
{
    int64_t bit = 0;
    const Parsed read = read_bit_position(text, bit);
    if (read == Parsed::not_a_number) throw Usage{"--start", "expected BYTE or BYTE.BIT (bit 0 to 7): \"" + text + "\""};
    if (read == Parsed::too_large || bit > POSITION_LIMIT)
        throw Usage{"--start", text + " is out of range (0 to " + std::to_string(POSITION_LIMIT / 8) + "." +
                                   std::to_string(POSITION_LIMIT % 8) + ")"};
    return bit;
}

}  // namespace

ViewSettings check_view(const ViewOptions& given)
{
    need_format(given.output, {PictureFormat::png, PictureFormat::ppm}, ".png or .ppm");
    ViewSettings settings{given.file, given.output, ViewParameters{}};
    ViewParameters& view = settings.view;
    int64_t grid_x = 0, grid_y = 0;
    if (!parse_pair(given.grid_size, grid_x, grid_y))
        throw Usage{"--grid-size", "expected X,Y: \"" + given.grid_size + "\""};
    view.grid_x = static_cast<int32_t>(number_option("--grid-size X", std::to_string(grid_x), 1, 25));
    view.grid_y = static_cast<int32_t>(number_option("--grid-size Y", std::to_string(grid_y), 1, 25));
    view.multi_columns = given.multi;
    view.align_to_grid = given.align;
    view.invert = given.invert;
    if (!given.state.empty()) {
        if (!parse_view_title(given.state.c_str(), view))
            throw Usage{"--state", "not a viewer title: \"" + given.state + "\""};
        if (view.start_position < -view.sprsize || view.start_position > POSITION_LIMIT)
            throw Usage{"--state", "disp " + std::to_string(view.start_position) + " is out of range (" +
                                       std::to_string(-view.sprsize) + " to " + std::to_string(POSITION_LIMIT) + ")"};
        return settings;
    }
    view.sprsize = static_cast<int32_t>(number_option("--width", given.width, 1, 80));
    view.zoom = static_cast<int32_t>(number_option("--zoom", given.zoom, 1, 8));
    if (view.zoom != 1 && view.zoom != 2 && view.zoom != 8) throw Usage{"--zoom", "must be 1, 2 or 8"};
    view.grid = given.grid;
    view.start_position = number_option("--start", given.start, -view.sprsize, POSITION_LIMIT);
    return settings;
}

ExportSettings check_export(const ExportOptions& given)
{
    need_format(given.output, {PictureFormat::png, PictureFormat::pbm}, ".png or .pbm");
    ExportSettings settings{given.file, given.output, BitLayout{}, given.rows.empty()};
    BitLayout& layout = settings.layout;
    layout.start_bit = bit_position_option(given.start);
    if (given.tile.empty()) {
        if (!given.tiles_per_row.empty()) throw Usage{"--tiles-per-row", "needs --tile WxH"};
        if (given.width.empty()) throw Usage{"--width-bits", "required (or --tile WxH)"};
        layout.width_bits = number_option("--width-bits", given.width, 1, LAYOUT_MAX_WIDTH);
    } else {
        // Cells of W x H, N to a row: the picture is N cells wide.
        if (!given.width.empty())
            throw Usage{"--width-bits", "not with --tile: the width is the cells' (W x --tiles-per-row)"};
        int64_t w = 0, h = 0;
        if (!parse_pair(given.tile, w, h)) throw Usage{"--tile", "expected WxH: \"" + given.tile + "\""};
        layout.tile_width = number_option("--tile W", std::to_string(w), 1, LAYOUT_MAX_TILE);
        layout.tile_height = number_option("--tile H", std::to_string(h), 1, LAYOUT_MAX_TILE);
        layout.tiles_per_row =
            given.tiles_per_row.empty()
                ? EXPORT_DEFAULT_TILES_PER_ROW
                : number_option("--tiles-per-row", given.tiles_per_row, 1, LAYOUT_MAX_WIDTH / layout.tile_width);
        layout.width_bits = layout.tile_width * layout.tiles_per_row;
    }
    const int64_t cell_width = layout.tiles_per_row ? layout.tile_width : layout.width_bits;
    layout.rows = settings.to_the_end ? std::max<int64_t>(1, layout.tile_height)
                                      : number_option("--rows", given.rows, 1, LAYOUT_MAX_ROWS);
    layout.lsb = given.lsb;
    layout.vertical = given.vertical;
    layout.bottom_up = given.bottom_up;
    layout.invert = given.invert;
    layout.stride_bits = given.stride.empty() ? default_stride(cell_width, given.vertical)
                                              : number_option("--stride-bits", given.stride, 1, POSITION_LIMIT);
    if (!layout_valid(layout)) throw Usage{"--stride-bits", "the rows reach too far (stride x rows)"};
    settings.scale = number_option("--scale", given.scale, 1, EXPORT_MAX_SCALE);
    if (layout.width_bits > LAYOUT_MAX_WIDTH / settings.scale)
        throw Usage{"--scale", "the picture would be wider than " + std::to_string(LAYOUT_MAX_WIDTH) + " pixels"};
    if (!settings.to_the_end && layout.rows > LAYOUT_MAX_ROWS / settings.scale)
        throw Usage{"--scale", "the picture would be taller than " + std::to_string(LAYOUT_MAX_ROWS) + " rows"};
    return settings;
}

CutSettings check_cut(const CutOptions& given)
{
    if (given.start.find('.') != std::string::npos)
        throw Usage{"--start", "cut writes whole bytes: a BYTE, not BYTE.BIT (\"" + given.start +
                                   "\"; export shows bits from any bit on)"};
    return CutSettings{given.file, given.output, number_option("--start", given.start, INT64_MIN, INT64_MAX),
                       number_option("--count", given.count, 1, INT64_MAX), given.invert};
}

OverviewSettings check_overview(const OverviewOptions& given)
{
    if (given.output.empty() && !given.json) throw Usage{"--output", "required (or --json alone)"};
    if (!given.output.empty()) need_format(given.output, {PictureFormat::png, PictureFormat::ppm}, ".png or .ppm");
    if (given.json && given.output == "-") throw Usage{"--json", "and -o - would both write standard output"};
    return OverviewSettings{given.file, given.output,
                            given.block.empty() ? 0 : number_option("--block", given.block, 1, int64_t{1} << 40),
                            min_score_option(given.min_score), given.json};
}

GuessWidthSettings check_guess_width(const GuessWidthOptions& given)
{
    return GuessWidthSettings{given.file, bit_position_option(given.start),
                              number_option("--length", given.length, 1, SourceFile::WINDOW_BYTES), given.json};
}

ScanSettings check_scan(const ScanOptions& given)
{
    if (given.order != "score" && given.order != "file")
        throw Usage{"--order", "must be score or file: \"" + given.order + "\""};
    return ScanSettings{given.file,
                        number_option("--min-bytes", given.min_bytes, 1, INT64_MAX),
                        min_score_option(given.min_score),
                        given.order == "file" ? RegionOrder::file : RegionOrder::score,
                        given.report,
                        given.export_dir,
                        given.json,
                        number_option("--max-regions", given.max_regions, 1, SCAN_MAX_REGIONS)};
}

FindSettings check_find(const FindOptions& given)
{
    FindSettings settings;
    settings.file = given.file;
    settings.json = given.json;
    settings.stride =
        given.stride.empty() ? 0 : static_cast<int32_t>(number_option("--stride", given.stride, 1, GLYPH_MAX_STRIDE));
    settings.max_errors = static_cast<int32_t>(
        number_option("--max-errors", given.max_errors, 0, int64_t{GLYPH_MAX_WIDTH} * GLYPH_MAX_HEIGHT));
    settings.max_matches = number_option("--max-matches", given.max_matches, 1, 10000000);
    if (!given.glyph.empty() && given.glyph[0] == '@')
        settings.pattern_file = given.glyph.substr(1);
    else
        take_pattern(settings, given.glyph);
    return settings;
}

void take_pattern(FindSettings& settings, const std::string& text)
{
    std::string why;
    if (!parse_glyph_pattern(text, settings.pattern, why)) throw Usage{"--glyph", why};
    const int32_t width = settings.pattern.width;
    if (settings.stride > 0 && settings.stride * 8 < width)
        throw Usage{"--stride", "a row of " + counted(width, "pixel") + " spans " + counted((width + 7) / 8, "byte") +
                                    ": the stride must be at least that"};
    // What remains to be wrong is the number of differing pixels.
    if (!GlyphSearch(settings.pattern, settings.stride, settings.max_errors).valid(why))
        throw Usage{"--max-errors", why};
}

ExploreSettings check_explore(const ExploreOptions& given)
{
    return ExploreSettings{given.file, given.port.empty() ? 0 : number_option("--port", given.port, 1, 65535),
                           given.no_open};
}
