// main.cpp: bitloupe-cli, the command-line front end. It reads the command
// line (CLI11) into the chosen subcommand's options, which the subcommand
// checks and works with (subcommands.h), and ends every run the same way.
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
#include "messages.h"
#include "subcommands.h"
#include "system.h"

namespace {

// Every subcommand, in the order --help lists them.
const Subcommand SUBCOMMANDS[] = {
    make_subcommand("view", "Draw the viewer's canvas (641 x 481) for a view of FILE", bind_view, check_view,
                    run_view),
    make_subcommand("export", "Write FILE's bits as a picture, one pixel a bit (set bits white)", bind_export,
                    check_export, run_export),
    make_subcommand("cut", "Write COUNT bytes of FILE from START on (those that exist)", bind_cut, check_cut, run_cut),
    make_subcommand("overview",
                    "Draw one picture of the whole of FILE, a pixel per block, coloured by what the block holds",
                    bind_overview, check_overview, run_overview),
    make_subcommand("guess-width", "Guess the row width in bits of the graphics at a place in FILE", bind_guess_width,
                    check_guess_width, run_guess_width),
    make_subcommand("scan", "List the regions of FILE that look like 1-bit graphics", bind_scan, check_scan, run_scan),
    make_subcommand("find",
                    "Search FILE for a small picture given by example: at every bit, in both bit orders, inverted "
                    "or not, at one stride or at every stride from 1 to 80 bytes",
                    bind_find, check_find, run_find),
    make_subcommand("explore",
                    "Show FILE's bits in any layout in the browser, served to this machine alone until Ctrl-C",
                    bind_explore, check_explore, run_explore),
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
            else if (name == "--tile") kind = "WxH";
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
    // The work of each subcommand, in the order of the table.
    std::vector<std::function<int()>> works;
    for (const Subcommand& sub : SUBCOMMANDS) works.push_back(sub.add(*app.add_subcommand(sub.name, sub.help)));
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

    int code = EXIT_DONE;
    try {
        app.parse(reversed);
        const std::string chosen = app.get_subcommands().front()->get_name();
        for (size_t i = 0; i < works.size(); ++i)
            if (chosen == SUBCOMMANDS[i].name) code = works[i]();
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
    std::string why;
    if (!standard_output_written(why)) {
        report("standard output", why);
        return EXIT_FAILED;
    }
    return code;
}
