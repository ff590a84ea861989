// command_view.cpp: `bitloupe-cli view`, the viewer's canvas for a view of a
// file, drawn by the viewer's own drawing code, as a PNG or PPM.
#include <algorithm>
#include <vector>

#include "command_files.h"
#include "drawing.h"
#include "messages.h"
#include "subcommands.h"

void bind_view(CLI::App& c, ViewOptions& given)
{
    c.add_option("FILE", given.file, "the file to look at")->required();
    c.add_option("-o,--output", given.output, "the picture to write: OUT.png (24-bit) or OUT.ppm")->required();
    auto* w = c.add_option("--width", given.width, "bytes a row, 1 to 80 (default 1)");
    auto* s = c.add_option("--start", given.start, "the first byte shown (\"disp\"), from minus the width on");
    auto* z = c.add_option("--zoom", given.zoom, "1, 2 or 8 (default 1)");
    auto* g = c.add_flag("--grid", given.grid, "draw the grid");
    c.add_option("--grid-size", given.grid_size, "grid spacing X,Y in pixels, 1 to 25 each (default 8,8)");
    c.add_flag("--multi", given.multi, "multiple columns");
    c.add_flag("--align", given.align, "align to grid");
    c.add_flag("--invert", given.invert, "invert the bits");
    c.add_option("--state", given.state,
                 "the viewer's window title, e.g. \"Bitloupe, sprsize:2, grid:8x16 disp:1024 zoom:8\": "
                 "sets width, grid, start and zoom from it")
        ->excludes(w)
        ->excludes(s)
        ->excludes(z)
        ->excludes(g);
}

int run_view(const ViewSettings& settings)
{
    const std::string& file = settings.file;
    const std::string& output = settings.output;
    const ViewParameters& view = settings.view;
    SourceFile source;
    if (!open_source(source, file)) return EXIT_FAILED;

    // Only the bytes the view can show are mapped: the part of the file from
    // the first byte shown to the last the layout can reach, rebased so that
    // the drawing sees them as the whole file from there on.
    ViewParameters shown = view;
    ViewData data{nullptr, 0};
    std::string why;
    if (source.size() > 0) {
        const int64_t start = view.start_position;
        const int64_t first = std::clamp<int64_t>(start, 0, source.size());
        const int64_t end = std::clamp<int64_t>(start + view_reach(view), first, source.size());
        static const uint8_t nothing = 0;
        data.data = end > first ? source.bytes(first, end - first, why) : &nothing;
        if (!data.data) {
            report(file, why);
            return EXIT_FAILED;
        }
        data.length = end - first;
        shown.start_position = start - first;
    }

    const int32_t pitch = row_pitch(VIEW_WIDTH, 24);
    std::vector<uint8_t> canvas(static_cast<size_t>(pitch) * VIEW_HEIGHT);
    render_view(shown, data, canvas.data(), pitch);

    OutputFile out;
    if (!begin_output(out, output, file)) return EXIT_FAILED;
    // The canvas is bottom-up, blue-green-red; pictures are top-down RGB.
    const RowSource rows = [&](int64_t y, uint8_t* row) {
        const uint8_t* from = canvas.data() + static_cast<size_t>(VIEW_HEIGHT - 1 - y) * pitch;
        for (int32_t x = 0; x < VIEW_WIDTH; ++x) {
            row[x * 3] = from[x * 3 + 2];
            row[x * 3 + 1] = from[x * 3 + 1];
            row[x * 3 + 2] = from[x * 3];
        }
        return true;
    };
    const bool made = write_colour_picture(out, picture_format(output), VIEW_WIDTH, VIEW_HEIGHT, rows, why);
    if (!finish_output(out, output, made, why)) return EXIT_FAILED;
    tell(out, "wrote " + output_name(output) + " (" + std::to_string(VIEW_WIDTH) + " x " + std::to_string(VIEW_HEIGHT) + ")");
    return EXIT_DONE;
}

