// main.cpp: bitloupe-cli, the command-line front end. It reads the command
// line (CLI11), checks every value, and hands the work to commands.cpp.
//
// Exit codes: 0 done, 1 the work failed (a file could not be read or
// written, memory ran out), 2 a bad command line, 128 + the signal's number
// when interrupted (130 for Ctrl-C).
#include <CLI/CLI.hpp>

#include <filesystem>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "bitloupe_version.h"
#include "commands.h"
#include "numbers.h"
#include "options.h"
#include "pictures.h"
#include "system.h"

namespace {

struct ViewCommand {
    std::string file, output, width = "1", start = "0", zoom = "1", grid_size = "8,8", state;
    bool grid = false, multi = false, align = false, invert = false;

    void add(CLI::App& app)
    {
        CLI::App* c = app.add_subcommand("view", "Draw the viewer's canvas (641 x 481) for a view of FILE");
        c->add_option("FILE", file, "the file to look at")->required();
        c->add_option("-o,--output", output, "the picture to write: OUT.png (24-bit) or OUT.ppm")->required();
        auto* w = c->add_option("--width", width, "bytes a row, 1 to 80 (default 1)");
        auto* s = c->add_option("--start", start, "the first byte shown (\"disp\"), from minus the width on");
        auto* z = c->add_option("--zoom", zoom, "1, 2 or 8 (default 1)");
        auto* g = c->add_flag("--grid", grid, "draw the grid");
        c->add_option("--grid-size", grid_size, "grid spacing X,Y in pixels, 1 to 25 each (default 8,8)");
        c->add_flag("--multi", multi, "multiple columns");
        c->add_flag("--align", align, "align to grid");
        c->add_flag("--invert", invert, "invert the bits");
        c->add_option("--state", state,
                      "the viewer's window title, e.g. \"Bitloupe, sprsize:2, grid:8x16 disp:1024 zoom:8\": "
                      "sets width, grid, start and zoom from it")
            ->excludes(w)
            ->excludes(s)
            ->excludes(z)
            ->excludes(g);
        c->callback([this] { run(); });
    }

    void run()
    {
        need_format(output, {PictureFormat::png, PictureFormat::ppm}, ".png or .ppm");
        ViewParameters view{};
        int64_t grid_x = 0, grid_y = 0;
        if (!parse_pair(grid_size, grid_x, grid_y)) throw Usage{"--grid-size", "expected X,Y: \"" + grid_size + "\""};
        view.grid_x = static_cast<int32_t>(number_option("--grid-size X", std::to_string(grid_x), 1, 25));
        view.grid_y = static_cast<int32_t>(number_option("--grid-size Y", std::to_string(grid_y), 1, 25));
        view.multi_columns = multi;
        view.align_to_grid = align;
        view.invert = invert;
        if (!state.empty()) {
            if (!parse_view_title(state.c_str(), view))
                throw Usage{"--state", "not a viewer title: \"" + state + "\""};
        } else {
            view.sprsize = static_cast<int32_t>(number_option("--width", width, 1, 80));
            view.zoom = static_cast<int32_t>(number_option("--zoom", zoom, 1, 8));
            if (view.zoom != 1 && view.zoom != 2 && view.zoom != 8) throw Usage{"--zoom", "must be 1, 2 or 8"};
            view.grid = grid;
        }
        if (state.empty()) view.start_position = number_option("--start", start, -view.sprsize, POSITION_LIMIT);
        if (view.start_position < -view.sprsize || view.start_position > POSITION_LIMIT)
            throw Usage{"--state", "disp " + std::to_string(view.start_position) + " is out of range (" +
                                       std::to_string(-view.sprsize) + " to " + std::to_string(POSITION_LIMIT) + ")"};
        result = run_view(file, output, view);
    }
    int result = EXIT_DONE;
};

struct ExportCommand {
    std::string file, output, start = "0", width, rows, stride;
    bool lsb = false, vertical = false, bottom_up = false, invert = false;

    void add(CLI::App& app)
    {
        CLI::App* c = app.add_subcommand("export", "Write FILE's bits as a picture, one pixel a bit (set bits white)");
        c->add_option("FILE", file, "the file to read")->required();
        c->add_option("-o,--output", output, "the picture to write: OUT.png (1-bit) or OUT.pbm")->required();
        c->add_option("--start", start, "the first bit: BYTE or BYTE.BIT (bit 0 to 7; default 0)");
        c->add_option("--width-bits", width, "pixels a row")->required();
        c->add_option("--rows", rows, "rows of the picture (default: to the end of the file)");
        c->add_option("--stride-bits", stride, "bits from one row to the next (default the width; "
                                               "with --vertical, from one band to the next, default 8 x width)");
        c->add_flag("--lsb", lsb, "bit 0 of each byte is the leftmost (or topmost) pixel");
        c->add_flag("--vertical", vertical, "each byte is 8 vertical pixels; W bytes make a band of 8 rows");
        c->add_flag("--bottom-up", bottom_up, "rows in reverse order");
        c->add_flag("--invert", invert, "invert the bits");
        c->callback([this] { run(); });
    }

    void run()
    {
        need_format(output, {PictureFormat::png, PictureFormat::pbm}, ".png or .pbm");
        BitLayout layout{};
        const Parsed read = read_bit_position(start, layout.start_bit);
        if (read == Parsed::not_a_number)
            throw Usage{"--start", "expected BYTE or BYTE.BIT (bit 0 to 7): \"" + start + "\""};
        if (read == Parsed::too_large || layout.start_bit > POSITION_LIMIT)
            throw Usage{"--start", start + " is out of range (0 to " + std::to_string(POSITION_LIMIT / 8) + "." +
                                       std::to_string(POSITION_LIMIT % 8) + ")"};
        layout.width_bits = number_option("--width-bits", width, 1, LAYOUT_MAX_WIDTH);
        // Without --rows, as many as reach the end of the file (run_export
        // counts them); one meanwhile, for the checks below.
        layout.rows = rows.empty() ? 1 : number_option("--rows", rows, 1, LAYOUT_MAX_ROWS);
        layout.lsb = lsb;
        layout.vertical = vertical;
        layout.bottom_up = bottom_up;
        layout.invert = invert;
        layout.stride_bits = stride.empty() ? default_stride(layout.width_bits, vertical)
                                            : number_option("--stride-bits", stride, 1, POSITION_LIMIT);
        if (!layout_valid(layout)) throw Usage{"--stride-bits", "the rows reach too far (stride x rows)"};
        result = run_export(file, output, layout, rows.empty());
    }
    int result = EXIT_DONE;
};

struct CutCommand {
    std::string file, output, start, count;
    bool invert = false;

    void add(CLI::App& app)
    {
        CLI::App* c = app.add_subcommand("cut", "Write COUNT bytes of FILE from START on (those that exist)");
        c->add_option("FILE", file, "the file to read")->required();
        c->add_option("-o,--output", output, "the file to write")->required();
        c->add_option("--start", start, "the first byte (a negative start skips to byte 0)")->required();
        c->add_option("--count", count, "how many bytes")->required();
        c->add_flag("--invert", invert, "complement every byte");
        c->callback([this] { run(); });
    }

    void run()
    {
        if (start.find('.') != std::string::npos)
            throw Usage{"--start", "cut writes whole bytes: a BYTE, not BYTE.BIT (\"" + start +
                                       "\"; export shows bits from any bit on)"};
        const int64_t first = number_option("--start", start, INT64_MIN, INT64_MAX);
        const int64_t n = number_option("--count", count, 1, INT64_MAX);
        result = run_cut(file, output, first, n, invert);
    }
    int result = EXIT_DONE;
};

// What --help says of the values options take: the kind of each, and once
// how numbers and bit positions are written, and the exit codes.
void describe_values(CLI::App& app)
{
    static const char* const FOOTER =
        "Numbers: decimal (7936), hexadecimal as 0x1F00 or $1F00 (quote a $ from the shell: '$1F00'), binary as "
        "%1010. A bit position is BYTE or BYTE.BIT, bit 0 being the most significant bit of the byte.\n"
        "FILE - reads standard input; -o - writes to standard output.\n"
        "Exit codes: 0 done, 1 the work failed (its reason on standard error), 2 a bad command line, 130 "
        "interrupted (128 + the signal's number).";
    app.footer(FOOTER);
    for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) {
        sub->footer(FOOTER);
        for (CLI::Option* option : sub->get_options()) {
            const std::string name = option->get_name();
            if (option->get_type_name() != "TEXT") continue;  // flags take no value
            std::string kind = "NUMBER";
            if (name == "FILE") kind = "FILE";
            else if (name == "-o,--output" || name == "--output" || name == "--report") kind = "OUT";
            else if (name == "--export-dir") kind = "DIR";
            else if (name == "--start") kind = sub->get_name() == "export" || sub->get_name() == "guess-width" ? "BYTE[.BIT]" : "NUMBER";
            else if (name == "--glyph") kind = "PATTERN";
            else if (name == "--state") kind = "TITLE";
            else if (name == "--grid-size") kind = "X,Y";
            else if (name == "--order") kind = "score|file";
            else if (name == "--min-score") kind = "0..1";
            option->type_name(kind);
        }
    }
}

// What the program could not do, in the one form of every failure:
// "bitloupe-cli: SUBCOMMAND: WHY" and exit code 1. The outputs begun were
// removed as the work unwound.
int failed(CLI::App& app, const std::string& why)
{
    const std::vector<CLI::App*> ran = app.get_subcommands();
    report(ran.empty() ? std::string("bitloupe-cli") : ran.front()->get_name(), why);
    return EXIT_FAILED;
}

}  // namespace

int main(int argc, char** argv)
{
    arm_interruption_report();
    std::vector<std::string> arguments = program_arguments(argc, argv);
    // CLI11 takes the arguments after the program's name, last first.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    if (!reversed.empty()) reversed.pop_back();

    CLI::App app{"Bitloupe command line: the viewer's pictures and cuts, lossless, any file size.", "bitloupe-cli"};
    app.set_version_flag("--version", "bitloupe-cli " BITLOUPE_VERSION);
    app.require_subcommand(1);
    // "/name" is a path, not an option, on every system.
    app.allow_windows_style_options(false);
    ViewCommand view;
    ExportCommand exporter;
    CutCommand cut;
    view.add(app);
    exporter.add(app);
    cut.add(app);
    // Subcommands in files of their own add themselves here; each sets
    // `result` when it runs.
    int result = EXIT_DONE;
    for (const AddSubcommand add : MORE_SUBCOMMANDS)
        if (add) add(app, result);
    describe_values(app);

    // A mistyped subcommand by its name, not as an extra argument.
    if (arguments.size() > 1 && !arguments[1].empty() && arguments[1][0] != '-') {
        const std::vector<CLI::App*> named =
            app.get_subcommands([&](CLI::App* sub) { return sub->get_name() == arguments[1]; });
        if (named.empty()) {
            report("command line", "unknown subcommand '" + arguments[1] + "'");
            write_error("Run with --help for the subcommands.\n");
            return EXIT_USAGE;
        }
    }

    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        write_out(std::string(e.what()) + "\n");
        return EXIT_DONE;
    } catch (const CLI::ExtrasError&) {
        // Listed in the order given (CLI11's message has them last first).
        std::string list;
        for (const std::string& word : app.remaining(true)) list += (list.empty() ? "" : " ") + word;
        report("command line", "arguments not expected: " + list);
        write_error("Run with --help for more information.\n");
        return EXIT_USAGE;
    } catch (const CLI::ParseError& e) {
        report("command line", e.what());
        // A file whose name begins with - was read as an option.
        for (size_t i = 2; i < arguments.size(); ++i)
            if (arguments[i].size() > 1 && arguments[i][0] == '-' && std::filesystem::exists(arguments[i]))
                write_error("bitloupe-cli: " + visible(arguments[i]) + ": a file name that begins with - is given as ./" +
                            visible(arguments[i]) + " (or after --)\n");
        write_error("Run with --help for more information.\n");
        return EXIT_USAGE;
    } catch (const Usage& e) {
        report(e.what, e.why);
        return EXIT_USAGE;
    } catch (const std::bad_alloc&) {
        return failed(app, "out of memory");
    } catch (const std::system_error& e) {
        return failed(app, e.what());
    } catch (const std::exception& e) {
        return failed(app, e.what());
    }
    const int code = view.result | exporter.result | cut.result | result;
    std::string why;
    if (!standard_output_written(why)) {
        report("standard output", why);
        return EXIT_FAILED;
    }
    return code;
}
