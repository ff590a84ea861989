// command_cut.cpp: `bitloupe-cli cut`, bytes of a file as they are (or
// complemented), those that exist, as the viewer's Save binary writes them.
#include <algorithm>
#include <vector>

#include "command_files.h"
#include "messages.h"
#include "subcommands.h"

void bind_cut(CLI::App& c, CutOptions& given)
{
    c.add_option("FILE", given.file, "the file to read")->required();
    c.add_option("-o,--output", given.output, "the file to write")->required();
    c.add_option("--start", given.start, "the first byte (a negative start skips to byte 0)")->required();
    c.add_option("--count", given.count, "how many bytes")->required();
    c.add_flag("--invert", given.invert, "complement every byte");
}

int run_cut(const CutSettings& settings)
{
    const std::string& file = settings.file;
    const std::string& output = settings.output;
    const int64_t start = settings.start, count = settings.count;
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
        if (settings.invert) {
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

