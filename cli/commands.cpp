// commands.cpp: view, export and cut. Each reads the file through a
// SourceFile (any size, a window at a time) and writes through an
// OutputFile (the target is replaced only when the output is complete).
#include "commands.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

#include "drawing.h"
#include "output_file.h"
#include "pictures.h"
#include "source_file.h"
#include "system.h"

bool open_source(SourceFile& source, const std::string& file)
{
    std::string why;
    if (source.open(file, why)) {
        arm_read_fault_report(file);
        return true;
    }
    report(file, why);
    return false;
}

namespace {

bool begin_output(OutputFile& out, const std::string& output, const std::string& input)
{
    std::string why;
    if (out.begin(output, why, input)) return true;
    report(output_name(output), why);
    return false;
}

// Commits the output; reports a failure of the writing, or of reading the
// input when `unread` names it.
bool finish_output(OutputFile& out, const std::string& output, bool made, const std::string& why,
                   const std::string& unread = {})
{
    if (!made) {
        report(unread.empty() ? output_name(output) : unread, why.empty() ? "not written" : why);
        return false;
    }
    std::string failure;
    if (out.commit(failure)) return true;
    report(output_name(output), failure);
    return false;
}

// What was done, on standard output, or on standard error when the output
// itself went to a device or pipe such as standard output.
void tell(const OutputFile& out, const std::string& text)
{
    if (out.direct())
        write_error(text + "\n");
    else
        write_out(text + "\n");
}

}  // namespace

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

void fault_point()
{
    static const std::string fault = [] {
        const char* value = std::getenv("BITLOUPE_FAULT");
        return std::string(value ? value : "");
    }();
    if (fault == "memory") throw std::bad_alloc();
    if (fault == "library") throw std::length_error("a library gave up (BITLOUPE_FAULT=library)");
}

int run_view(const std::string& file, const std::string& output, const ViewParameters& view)
{
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

bool write_export(SourceFile& source, const std::string& file, OutputFile& out, PictureFormat format,
                  const BitLayout& layout, int64_t& past_end, std::string& why, bool* unread)
{
    (void)file;
    const int64_t row_bytes = packed_row_bytes(layout);
    // The plain layout (whole bytes a row, no gaps, most significant bit
    // first, top down) is the file's bytes themselves: copied in blocks.
    const bool plain = !layout.vertical && !layout.lsb && !layout.bottom_up && layout.start_bit % 8 == 0 &&
                       layout.width_bits % 8 == 0 && layout.stride_bits == layout.width_bits;
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
        for (int64_t i = 0; i < count; ++i) {
            const ByteSpan span = layout_row_bytes(layout, y + i);
            const int64_t available = std::clamp<int64_t>(source.size() - span.first, 0, span.count);
            const uint8_t* bytes = nullptr;
            if (available > 0 && !(bytes = source.bytes(span.first, available, why))) {
                if (unread) *unread = true;
                return false;
            }
            past_end += decode_layout_row(layout, y + i, bytes, available, block + i * row_bytes);
        }
        if (complemented)
            for (int64_t i = 0; i < total; ++i) block[i] = static_cast<uint8_t>(~block[i]);
        return true;
    };
    return write_bit_picture(out, format, layout.width_bits, layout.rows, rows, why);
}

int run_export(const std::string& file, const std::string& output, BitLayout layout, bool to_the_end)
{
    SourceFile source;
    if (!open_source(source, file)) return EXIT_FAILED;
    if (to_the_end) {
        // Rows (or bands of 8 rows) from the start on while they begin in the file.
        const int64_t bits = std::max<int64_t>(0, source.size() * 8 - layout.start_bit);
        const int64_t steps = std::max<int64_t>(1, (bits + layout.stride_bits - 1) / layout.stride_bits);
        layout.rows = std::min<int64_t>(LAYOUT_MAX_ROWS, layout.vertical ? steps * 8 : steps);
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
        const int64_t header = static_cast<int64_t>(
            ("P4\n" + std::to_string(layout.width_bits) + " " + std::to_string(layout.rows) + "\n").size());
        const int64_t row_bytes = (layout.width_bits + 7) / 8;
        const int64_t bytes = layout.rows > (INT64_MAX - header) / row_bytes ? INT64_MAX : header + layout.rows * row_bytes;
        if (!out.has_room(bytes, why)) {
            report(output_name(output), why);
            return EXIT_FAILED;
        }
    }
    bool unread = false;
    const bool made = write_export(source, file, out, picture_format(output), layout, past_end, why, &unread);
    if (!finish_output(out, output, made, why, unread ? file : std::string())) return EXIT_FAILED;
    std::string summary = "wrote " + output_name(output) + " (" + std::to_string(layout.width_bits) + " x " +
                          std::to_string(layout.rows) + ")";
    if (past_end > 0) summary += "; " + counted(past_end, "pixel lay", "pixels lay") + " past the end of the file (black)";
    tell(out, summary);
    return EXIT_DONE;
}

int run_cut(const std::string& file, const std::string& output, int64_t start, int64_t count, bool invert)
{
    SourceFile source;
    if (!open_source(source, file)) return EXIT_FAILED;
    OutputFile out;
    if (!begin_output(out, output, file)) return EXIT_FAILED;

    // Only bytes that exist are written, as the viewer's Save binary does.
    const int64_t first = std::clamp<int64_t>(start, 0, source.size());
    const int64_t end = std::clamp<int64_t>(start > INT64_MAX - count ? INT64_MAX : start + count, first, source.size());
    std::vector<uint8_t> piece;
    std::string why;
    bool made = true, unread = false;
    for (int64_t at = first; at < end && made;) {
        const int64_t n = std::min(end - at, SourceFile::WINDOW_BYTES);
        const uint8_t* bytes = source.bytes(at, n, why);
        if (!bytes) {
            made = false;
            unread = true;
            break;
        }
        if (invert) {
            piece.resize(static_cast<size_t>(n));
            for (int64_t i = 0; i < n; ++i) piece[i] = static_cast<uint8_t>(~bytes[i]);
            made = out.write(piece.data(), piece.size());
        } else {
            made = out.write(bytes, static_cast<size_t>(n));
        }
        if (!made) why = out.failure();
        at += n;
    }
    if (!finish_output(out, output, made, why, unread ? file : std::string())) return EXIT_FAILED;
    tell(out, "wrote " + counted(end - first, "byte") + " to " + output_name(output));
    return EXIT_DONE;
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
