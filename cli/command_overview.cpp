// command_overview.cpp: `bitloupe-cli overview`, one picture of a whole file
// of any size, a pixel per block, coloured by what the block holds.
#include <algorithm>
#include <string>
#include <vector>

#include "command_files.h"
#include "finding.h"
#include "messages.h"
#include "output_file.h"
#include "overview_map.h"
#include "scan_file.h"
#include "pictures.h"
#include "subcommands.h"
#include "system.h"

void bind_overview(CLI::App& c, OverviewOptions& given)
{
    c.add_option("FILE", given.file, "the file to look at")->required();
    c.add_option("-o,--output", given.output, "the picture to write: OUT.png or OUT.ppm (with --json, none is needed)");
    c.add_option("--block", given.block, "bytes a pixel (default: the least power of two, at least 64, "
                                         "that fits the picture in 256 x 1024)");
    c.add_option("--min-score", given.min_score,
                 min_score_help("mark as graphics the regions scan lists at this --min-score"));
    c.add_flag("--json", given.json, "print the block size and the class of every block as JSON");
}

int run_overview(const OverviewSettings& settings)
{
    const std::string& file = settings.file;
    const std::string& output = settings.output;
    SourceFile source;
    std::string why;
    if (!open_source(source, file)) return EXIT_FAILED;
    const int64_t size = source.size();
    const int64_t block_bytes = settings.block ? settings.block : overview_block_size(size);
    if ((size + block_bytes - 1) / block_bytes > int64_t{OVERVIEW_COLUMNS} * 65536)
        throw Usage{"--block", "too small for this file: the picture would pass 65536 rows"};

    // One pass classifies the blocks and scans for graphics: the regions
    // scan lists.
    OverviewMap map;
    map.block = block_bytes;
    RegionList list;
    list.limit = 0;  // only their blocks are wanted
    if (!scan_file(source, SCAN_MIN_BYTES, settings.min_score, &map, {}, list, why)) {
        report(file, why);
        return EXIT_FAILED;
    }
    const std::vector<BlockClass>& classes = map.classes;
    const int64_t columns = map.columns, rows = map.rows;
    OutputFile out;
    if (!output.empty()) {
        if (!begin_output(out, output, file)) return EXIT_FAILED;
        const RowSource picture_rows = overview_rows(map);
        const bool made = write_colour_picture(out, picture_format(output), columns, rows, picture_rows, why);
        if (!finish_output(out, output, made, why)) return EXIT_FAILED;
    }

    if (settings.json) {
        std::string text = "{\"size\": " + std::to_string(size) + ", \"block\": " + std::to_string(block_bytes) +
                           ", \"columns\": " + std::to_string(columns) + ", \"rows\": " + std::to_string(rows) +
                           ", \"legend\": {";
        for (const BlockClass c : BLOCK_CLASSES)
            text += std::string(c == BLOCK_CLASSES[0] ? "" : ", ") + "\"" + class_letter(c) + "\": \"" + class_name(c) + "\"";
        text += "}, \"classes\": \"";
        text.reserve(text.size() + classes.size() + 4);
        for (const BlockClass c : classes) text += class_letter(c);
        write_out(text + "\"}\n");
    } else {
        std::vector<int64_t> counts(6, 0);
        for (const BlockClass c : classes) ++counts[static_cast<size_t>(c)];
        std::string text = "wrote " + output_name(output) + " (" + std::to_string(columns) + " x " + std::to_string(rows) +
                           ", " + counted(block_bytes, "byte") + " a pixel):";
        for (const BlockClass c : BLOCK_CLASSES)
            text += " " + std::to_string(counts[static_cast<size_t>(c)]) + " " + class_name(c) + ",";
        text.back() = '\n';
        // Beside a picture on standard output, on standard error.
        if (out.direct())
            write_error(text);
        else
            write_out(text);
    }
    return EXIT_DONE;
}
