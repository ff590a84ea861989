// command_export.cpp: `bitloupe-cli export`, a file's bits in any layout the
// engine knows, one pixel a bit, as a 1-bit PNG or a PBM, read a window at a
// time and written a block of rows at a time.
#include <algorithm>
#include <cstring>
#include <vector>

#include "command_files.h"
#include "messages.h"
#include "subcommands.h"

void bind_export(CLI::App& c, ExportOptions& given)
{
    c.add_option("FILE", given.file, "the file to read")->required();
    c.add_option("-o,--output", given.output, "the picture to write: OUT.png (1-bit) or OUT.pbm")->required();
    c.add_option("--start", given.start, "the first bit: BYTE or BYTE.BIT (bit 0 to 7; default 0)");
    c.add_option("--width-bits", given.width, "pixels a row (required, unless --tile)");
    c.add_option("--rows", given.rows, "rows of the picture (default: to the end of the file)");
    c.add_option("--stride-bits", given.stride,
                 "bits from one row to the next (default the width; "
                 "with --vertical, from one band to the next, default 8 x width)");
    c.add_flag("--lsb", given.lsb, "bit 0 of each byte is the leftmost (or topmost) pixel");
    c.add_flag("--vertical", given.vertical, "each byte is 8 vertical pixels; W bytes make a band of 8 rows");
    c.add_flag("--bottom-up", given.bottom_up, "rows in reverse order");
    c.add_flag("--invert", given.invert, "invert the bits");
    c.add_option("--tile", given.tile,
                 "cells of W x H pixels stored one after another (row by row inside a cell, with the options "
                 "above), laid --tiles-per-row to a row of the picture");
    c.add_option("--tiles-per-row", given.tiles_per_row,
                 "cells a row of the picture with --tile (default " + std::to_string(EXPORT_DEFAULT_TILES_PER_ROW) + ")");
    c.add_option("--scale", given.scale,
                 "draw each bit as N x N pixels, 1 to " + std::to_string(EXPORT_MAX_SCALE) + " (default 1)");
}

namespace {

// A packed row of `width` pixels with each pixel made `scale` pixels wide.
void widen_row(const uint8_t* row, int64_t width, int64_t scale, uint8_t* out)
{
    std::memset(out, 0, static_cast<size_t>((width * scale + 7) / 8));
    for (int64_t x = 0; x < width; ++x) {
        if (!(row[x >> 3] & (0x80u >> (x & 7)))) continue;
        for (int64_t p = x * scale; p < (x + 1) * scale; ++p) out[p >> 3] |= static_cast<uint8_t>(0x80u >> (p & 7));
    }
}

}  // namespace

bool write_export(SourceFile& source, OutputFile& out, PictureFormat format, const BitLayout& layout,
                  int64_t& past_end, std::string& why, bool* unread, int64_t scale)
{
    const int64_t row_bytes = packed_row_bytes(layout);
    // The plain layout (whole bytes a row, no gaps, most significant bit
    // first, top down) is the file's bytes themselves: copied in blocks.
    const bool plain = !layout.vertical && !layout.lsb && !layout.bottom_up && layout.start_bit % 8 == 0 &&
                       layout.width_bits % 8 == 0 && layout.stride_bits == layout.width_bits &&
                       layout.tiles_per_row == 0;
    past_end = 0;
    const RowBlockSource rows = [&](int64_t y, int64_t count, bool complemented, uint8_t* block) {
        const int64_t total = count * row_bytes;
        if (plain) {
            // The bytes pass through once, read straight into the block
            // (a sequential read of many megabytes costs half as much this
            // way as through a mapping), complemented in place where the
            // picture asks for it.
            const int64_t first = layout.start_bit / 8 + y * row_bytes;
            const int64_t available = std::clamp<int64_t>(source.size() - first, 0, total);
            if (available > 0 && !source.read(first, available, block, why)) {
                if (unread) *unread = true;
                return false;
            }
            if (complemented != layout.invert)
                for (int64_t i = 0; i < available; ++i) block[i] = static_cast<uint8_t>(~block[i]);
            // Past the end of the file is black.
            std::memset(block + available, complemented ? 0xFF : 0, static_cast<size_t>(total - available));
            past_end += (total - available) * 8;
            return true;
        }
        // A row in pieces: itself, or each cell it crosses.
        for (int64_t i = 0; i < count; ++i) {
            for (int64_t piece = 0; piece < layout_pieces(layout); ++piece) {
                const ByteSpan span = layout_piece_bytes(layout, y + i, piece);
                const int64_t available = std::clamp<int64_t>(source.size() - span.first, 0, span.count);
                const uint8_t* bytes = nullptr;
                if (available > 0 && !(bytes = source.bytes(span.first, available, why))) {
                    if (unread) *unread = true;
                    return false;
                }
                past_end += decode_layout_piece(layout, y + i, piece, bytes, available, block + i * row_bytes);
            }
        }
        if (complemented)
            for (int64_t i = 0; i < total; ++i) block[i] = static_cast<uint8_t>(~block[i]);
        return true;
    };
    if (scale <= 1) return write_bit_picture(out, format, layout.width_bits, layout.rows, rows, why);
    // Each pixel as scale x scale: the rows of the picture made once, each
    // widened and given `scale` times.
    const int64_t wide_bytes = (layout.width_bits * scale + 7) / 8;
    std::vector<uint8_t> made(static_cast<size_t>(row_bytes));
    int64_t made_row = -1;
    const RowBlockSource scaled = [&](int64_t y, int64_t count, bool complemented, uint8_t* block) {
        for (int64_t i = 0; i < count; ++i) {
            const int64_t from = (y + i) / scale;
            if (from != made_row) {
                if (!rows(from, 1, false, made.data())) return false;
                made_row = from;
            }
            uint8_t* row = block + i * wide_bytes;
            widen_row(made.data(), layout.width_bits, scale, row);
            if (complemented)
                for (int64_t b = 0; b < wide_bytes; ++b) row[b] = static_cast<uint8_t>(~row[b]);
        }
        return true;
    };
    // Each row's pixels past the end were counted once; as many times as drawn.
    const bool written = write_bit_picture(out, format, layout.width_bits * scale, layout.rows * scale, scaled, why);
    past_end *= scale * scale;
    return written;
}

int run_export(const ExportSettings& settings)
{
    const std::string& file = settings.file;
    const std::string& output = settings.output;
    BitLayout layout = settings.layout;
    SourceFile source;
    if (!open_source(source, file)) return EXIT_FAILED;
    const int64_t scale = settings.scale;
    if (settings.to_the_end) {
        // Rows (or bands of 8 rows, or rows of cells) from the start on while
        // they begin in the file.
        const int64_t bits = std::max<int64_t>(0, source.size() * 8 - layout.start_bit);
        if (layout.tiles_per_row) {
            const int64_t cell = layout_cell_bits(layout);
            const int64_t cells = std::max<int64_t>(1, bits / cell + (bits % cell ? 1 : 0));
            const int64_t cell_rows = cells / layout.tiles_per_row + (cells % layout.tiles_per_row ? 1 : 0);
            layout.rows = std::min<int64_t>(LAYOUT_MAX_ROWS / layout.tile_height, cell_rows) * layout.tile_height;
        } else {
            const int64_t steps = std::max<int64_t>(1, (bits + layout.stride_bits - 1) / layout.stride_bits);
            layout.rows = std::min<int64_t>(LAYOUT_MAX_ROWS, layout.vertical ? steps * 8 : steps);
        }
        layout.rows = std::min(layout.rows, LAYOUT_MAX_ROWS / scale);
        if (!layout_valid(layout)) {
            report("--rows", "the rows to the end of the file reach too far: give --rows");
            return EXIT_USAGE;
        }
    }
    OutputFile out;
    if (!begin_output(out, output, file)) return EXIT_FAILED;
    int64_t past_end = 0;
    std::string why;
    // A PBM's size is known before it is written: one that cannot fit on the
    // disk is refused before anything is.
    if (picture_format(output) == PictureFormat::pbm) {
        const int64_t width = layout.width_bits * scale, height = layout.rows * scale;
        const int64_t header =
            static_cast<int64_t>(("P4\n" + std::to_string(width) + " " + std::to_string(height) + "\n").size());
        const int64_t row_bytes = (width + 7) / 8;
        const int64_t bytes = height > (INT64_MAX - header) / row_bytes ? INT64_MAX : header + height * row_bytes;
        if (!out.has_room(bytes, why)) {
            report(output_name(output), why);
            return EXIT_FAILED;
        }
    }
    bool unread = false;
    const bool made = write_export(source, out, picture_format(output), layout, past_end, why, &unread, scale);
    if (!finish_output(out, output, made, why, unread ? file : std::string())) return EXIT_FAILED;
    std::string summary = "wrote " + output_name(output) + " (" + std::to_string(layout.width_bits * scale) + " x " +
                          std::to_string(layout.rows * scale) + ")";
    if (past_end > 0) summary += "; " + counted(past_end, "pixel lay", "pixels lay") + " past the end of the file (black)";
    tell(out, summary);
    return EXIT_DONE;
}

