// command_find_graphics.cpp: guess-width and scan, which find graphics by
// themselves: the likely row widths of a run of bytes, and the regions of a
// whole file that look like 1-bit pictures, with the commands that show them.
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "commands.h"
#include "finding.h"
#include "options.h"
#include "overview_map.h"
#include "report.h"
#include "source_file.h"
#include "system.h"

namespace {

std::string score_text(double score)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", score);
    return text;
}

struct GuessWidthCommand {
    std::string file, start, length = "4096";
    bool json = false;
    int* result = nullptr;

    void run()
    {
        const int64_t first = number_option("--start", start, 0, INT64_MAX);
        const int64_t wanted = number_option("--length", length, 1, SourceFile::WINDOW_BYTES);
        SourceFile source;
        if (!open_source(source, file)) return void(*result = EXIT_FAILED);
        if (first >= source.size()) {
            report(file, "--start " + std::to_string(first) + " is past the end (" + std::to_string(source.size()) +
                             " bytes)");
            return void(*result = EXIT_FAILED);
        }
        const int64_t n = std::min(wanted, source.size() - first);
        std::vector<uint8_t> bytes(static_cast<size_t>(n));
        std::string why;
        if (!source.read(first, n, bytes.data(), why)) {
            report(file, why);
            return void(*result = EXIT_FAILED);
        }
        WidthGuess guess[GUESS_MAX_CANDIDATES];
        const int32_t count = guess_widths(bytes.data(), n, guess, GUESS_MAX_CANDIDATES);
        std::string out;
        if (json) {
            out = "{\"start\": " + std::to_string(first) + ", \"length\": " + std::to_string(n) + ", \"candidates\": [";
            for (int32_t i = 0; i < count; ++i)
                out += std::string(i ? ", " : "") + "{\"width_bits\": " + std::to_string(guess[i].width_bits) +
                       ", \"score\": " + score_text(guess[i].score) + "}";
            out += "]}\n";
        } else {
            out = "bytes " + std::to_string(first) + " to " + std::to_string(first + n - 1) + ":";
            out += count ? "\n  width_bits  score   viewer width\n" : " no row width stands out\n";
            for (int32_t i = 0; i < count; ++i) {
                char line[96];
                const int32_t w = guess[i].width_bits;
                std::snprintf(line, sizeof line, "  %10d  %.4f  %s\n", w, guess[i].score,
                              w % 8 == 0 && w / 8 <= 80 ? std::to_string(w / 8).c_str() : "-");
                out += line;
            }
        }
        write_out(out);
    }
};

struct ScanCommand {
    std::string file, min_bytes = std::to_string(SCAN_MIN_BYTES), report_path;
    bool json = false;
    int* result = nullptr;

    void run()
    {
        const int64_t least = number_option("--min-bytes", min_bytes, 1, INT64_MAX);
        SourceFile source;
        if (!open_source(source, file)) return void(*result = EXIT_FAILED);
        const int64_t size = source.size();
        std::string why;
        // A bar on a terminal for files that take more than a moment.
        const bool bar = error_is_terminal() && size >= (int64_t{256} << 20);
        int32_t shown = -1;
        const std::function<void(int64_t)> progress = [&](int64_t done) {
            const int32_t percent = static_cast<int32_t>(done * 100 / size);
            if (percent == shown) return;
            shown = percent;
            write_error("\rscanning [" + std::string(static_cast<size_t>(percent / 5), '#') +
                        std::string(static_cast<size_t>(20 - percent / 5), ' ') + "] " + std::to_string(percent) + "%");
        };
        // The report's overview is made in the scan's pass.
        OverviewMap map;
        map.block = overview_block_size(size);
        std::vector<FoundRegion> regions;
        const bool scanned = scan_file(source, least, report_path.empty() ? nullptr : &map,
                                       bar ? progress : std::function<void(int64_t)>{}, regions, why);
        if (bar) write_error("\r" + std::string(40, ' ') + "\r");
        if (!scanned) {
            report(file, "cannot read: " + why);
            return void(*result = EXIT_FAILED);
        }
        write_out(json ? as_json(size, regions) : as_table(size, regions));
        if (!report_path.empty()) {
            // The page: the overview with the regions marked, then the regions.
            std::vector<ReportRegion> shown_regions;
            for (const FoundRegion& r : regions)
                shown_regions.push_back(ReportRegion{r.start, r.end, r.width_bits, r.score});
            if (!write_scan_report(report_path, file, source, map, shown_regions, why)) {
                report(report_path, why);
                return void(*result = EXIT_FAILED);
            }
            if (!json) write_out("wrote the report " + report_path + "\n");
        }
    }

    static std::string as_json(int64_t size, const std::vector<FoundRegion>& regions)
    {
        std::string out = "{\"size\": " + std::to_string(size) + ", \"regions\": [";
        for (size_t i = 0; i < regions.size(); ++i) {
            const FoundRegion& r = regions[i];
            out += std::string(i ? ", " : "") + "{\"start\": " + std::to_string(r.start) + ", \"end\": " +
                   std::to_string(r.end) + ", \"width_bits\": " + std::to_string(r.width_bits) +
                   ", \"score\": " + score_text(r.score) + "}";
        }
        return out + "]}\n";
    }

    std::string as_table(int64_t size, const std::vector<FoundRegion>& regions) const
    {
        std::string out = file + ": " + std::to_string(size) + " bytes, " + std::to_string(regions.size()) +
                          (regions.size() == 1 ? " region" : " regions") + " that look like 1-bit graphics\n";
        if (!regions.empty()) out += "       start         end     bytes  width_bits   score\n";
        const std::string name = shell_word(file);
        for (const FoundRegion& r : regions) {
            char line[128];
            std::snprintf(line, sizeof line, "%12lld%12lld%10lld%12d  %.4f\n", static_cast<long long>(r.start),
                          static_cast<long long>(r.end), static_cast<long long>(r.end - r.start), r.width_bits,
                          r.score);
            out += line;
            const std::string start = std::to_string(r.start);
            out += "    " + export_command(file, ReportRegion{r.start, r.end, r.width_bits, r.score}) + "\n";
            if (r.width_bits % 8 == 0 && r.width_bits / 8 <= 80)
                out += "    viewer: sprsize " + std::to_string(r.width_bits / 8) + ", disp " + start +
                       " (bitloupe-cli view " + name + " -o view-" + start + ".png --width " +
                       std::to_string(r.width_bits / 8) + " --start " + start + ")\n";
        }
        return out;
    }
};

}  // namespace

void add_guess_width_command(CLI::App& app, int& result)
{
    static GuessWidthCommand command;
    command.result = &result;
    CLI::App* c = app.add_subcommand("guess-width", "Guess the row width in bits of the graphics at a place in FILE");
    c->add_option("FILE", command.file, "the file to read")->required();
    c->add_option("--start", command.start, "the first byte of the graphics")->required();
    c->add_option("--length", command.length, "how many bytes to judge (default 4096)");
    c->add_flag("--json", command.json, "print one JSON object {start, length, candidates: [{width_bits, score}]}");
    c->callback([] { command.run(); });
}

void add_scan_command(CLI::App& app, int& result)
{
    static ScanCommand command;
    command.result = &result;
    CLI::App* c = app.add_subcommand("scan", "List the regions of FILE that look like 1-bit graphics");
    c->add_option("FILE", command.file, "the file to scan")->required();
    c->add_option("--min-bytes", command.min_bytes, "the smallest region to report (default 256)");
    c->add_flag("--json", command.json, "print one JSON object {size, regions: [{start, end, width_bits, score}]}");
    c->add_option("--report", command.report_path,
                  "also write OUT.html: one page with the overview and every region's first rows");
    c->callback([] { command.run(); });
}
