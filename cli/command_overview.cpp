// command_overview.cpp: `bitloupe-cli overview`, one picture of a whole file
// of any size, a pixel per block, coloured by what the block holds.
#include <algorithm>
#include <string>
#include <vector>

#include "commands.h"
#include "finding.h"
#include "options.h"
#include "output_file.h"
#include "overview_map.h"
#include "scan_file.h"
#include "pictures.h"
#include "system.h"

namespace {

struct OverviewCommand {
    std::string file, output, block, min_score;
    bool json = false;
    int* result = nullptr;

    void add(CLI::App& app, int& exit_code)
    {
        result = &exit_code;
        CLI::App* c = app.add_subcommand("overview", "Draw one picture of the whole of FILE, a pixel per block, "
                                                     "coloured by what the block holds");
        c->add_option("FILE", file, "the file to look at")->required();
        c->add_option("-o,--output", output, "the picture to write: OUT.png or OUT.ppm (with --json, none is needed)");
        c->add_option("--block", block, "bytes a pixel (default: the least power of two, at least 64, "
                                        "that fits the picture in 256 x 1024)");
        c->add_option("--min-score", min_score,
                      min_score_help("mark as graphics the regions scan lists at this --min-score"));
        c->add_flag("--json", json, "print the block size and the class of every block as JSON");
        c->callback([this] { *result = run(); });
    }

    int run()
    {
        if (output.empty() && !json) throw Usage{"--output", "required (or --json alone)"};
        if (!output.empty()) need_format(output, {PictureFormat::png, PictureFormat::ppm}, ".png or .ppm");
        if (json && output == "-") throw Usage{"--json", "and -o - would both write standard output"};
        const double least_score = min_score_option(min_score);
        SourceFile source;
        std::string why;
        if (!open_source(source, file)) return EXIT_FAILED;
        const int64_t size = source.size();
        const int64_t block_bytes =
            block.empty() ? overview_block_size(size) : number_option("--block", block, 1, int64_t{1} << 40);
        if ((size + block_bytes - 1) / block_bytes > int64_t{OVERVIEW_COLUMNS} * 65536)
            throw Usage{"--block", "too small for this file: the picture would pass 65536 rows"};

        // One pass classifies the blocks and scans for graphics: the regions
        // scan lists.
        OverviewMap map;
        map.block = block_bytes;
        RegionList list;
        if (!scan_file(source, SCAN_MIN_BYTES, least_score, &map, {}, list, why)) {
            report(file, why);
            return EXIT_FAILED;
        }
        order_regions(list, RegionOrder::file, &map);
        const std::vector<BlockClass>& classes = map.classes;
        const int64_t columns = map.columns, rows = map.rows;
        OutputFile out;
        if (!output.empty()) {
            if (!out.begin(output, why, file)) {
                report(output_name(output), why);
                return EXIT_FAILED;
            }
            const RowSource picture_rows = overview_rows(map);
            const bool made = write_colour_picture(out, picture_format(output), columns, rows, picture_rows, why);
            if (!made || !out.commit(why)) {
                report(output_name(output), why.empty() ? "not written" : why);
                return EXIT_FAILED;
            }
        }

        if (json) {
            std::string text = "{\"size\": " + std::to_string(size) + ", \"block\": " + std::to_string(block_bytes) +
                               ", \"columns\": " + std::to_string(columns) + ", \"rows\": " + std::to_string(rows) +
                               ", \"legend\": {";
            const BlockClass all[] = {BlockClass::uniform, BlockClass::text, BlockClass::dense, BlockClass::graphics,
                                      BlockClass::other};
            for (const BlockClass c : all)
                text += std::string(c == all[0] ? "" : ", ") + "\"" + class_letter(c) + "\": \"" + class_name(c) + "\"";
            text += "}, \"classes\": \"";
            text.reserve(text.size() + classes.size() + 4);
            for (const BlockClass c : classes) text += class_letter(c);
            write_out(text + "\"}\n");
        } else {
            std::vector<int64_t> counts(6, 0);
            for (const BlockClass c : classes) ++counts[static_cast<size_t>(c)];
            std::string text = "wrote " + output_name(output) + " (" + std::to_string(columns) + " x " + std::to_string(rows) +
                               ", " + counted(block_bytes, "byte") + " a pixel):";
            const BlockClass all[] = {BlockClass::uniform, BlockClass::text, BlockClass::dense, BlockClass::graphics,
                                      BlockClass::other};
            for (const BlockClass c : all)
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
};

}  // namespace

void add_overview_command(CLI::App& app, int& result)
{
    static OverviewCommand command;
    command.add(app, result);
}
