// command_find_graphics.cpp: guess-width and scan, which find graphics by
// themselves: the likely row widths of a run of bytes, and the regions of a
// whole file that look like 1-bit pictures, with the commands that show them.
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "commands.h"
#include "numbers.h"
#include "finding.h"
#include "options.h"
#include "output_file.h"
#include "overview_map.h"
#include "scan_file.h"
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
        // A start of BYTE.BIT: the bits from there on, shifted to a byte.
        int64_t start_bit = 0;
        const Parsed parsed = read_bit_position(start, start_bit);
        if (parsed == Parsed::not_a_number) throw Usage{"--start", "expected BYTE or BYTE.BIT (bit 0 to 7): \"" + start + "\""};
        if (parsed == Parsed::too_large) throw Usage{"--start", start + " is too large"};
        const int64_t first = start_bit / 8;
        const int32_t shift = static_cast<int32_t>(start_bit % 8);
        const int64_t wanted = number_option("--length", length, 1, SourceFile::WINDOW_BYTES);
        SourceFile source;
        if (!open_source(source, file)) return void(*result = EXIT_FAILED);
        if (first >= source.size()) {
            report(file, "--start " + std::to_string(first) + " is past the end (" + counted(source.size(), "byte") + ")");
            return void(*result = EXIT_FAILED);
        }
        const int64_t n = std::min(wanted, source.size() - first);
        const int64_t read = std::min(n + (shift ? 1 : 0), source.size() - first);
        std::vector<uint8_t> bytes(static_cast<size_t>(read) + 1, 0);
        std::string why;
        if (!source.read(first, read, bytes.data(), why)) {
            report(file, why);
            return void(*result = EXIT_FAILED);
        }
        if (shift)
            for (int64_t i = 0; i < n; ++i)
                bytes[static_cast<size_t>(i)] =
                    static_cast<uint8_t>(bytes[static_cast<size_t>(i)] << shift | bytes[static_cast<size_t>(i) + 1] >> (8 - shift));
        bytes.resize(static_cast<size_t>(n));
        WidthGuess guess[GUESS_MAX_CANDIDATES];
        const int32_t count = guess_widths(bytes.data(), n, guess, GUESS_MAX_CANDIDATES);
        std::string out;
        if (json) {
            out = "{\"start\": " + std::to_string(first) + (shift ? ", \"bit\": " + std::to_string(shift) : std::string()) +
                  ", \"length\": " + std::to_string(n) + ", \"candidates\": [";
            for (int32_t i = 0; i < count; ++i)
                out += std::string(i ? ", " : "") + "{\"width_bits\": " + std::to_string(guess[i].width_bits) +
                       ", \"score\": " + score_text(guess[i].score) + "}";
            out += "]}\n";
        } else {
            out = shift ? "the bits from " + std::to_string(first) + "." + std::to_string(shift) + " on, " + counted(n, "byte") + ":"
                        : "bytes " + std::to_string(first) + " to " + std::to_string(first + n - 1) + ":";
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
    std::string file, min_bytes = std::to_string(SCAN_MIN_BYTES), min_score, order = "score", report_path,
                      export_dir;
    bool json = false;
    int* result = nullptr;

    void run()
    {
        const int64_t least = number_option("--min-bytes", min_bytes, 1, INT64_MAX);
        const double least_score = min_score_option(min_score);
        if (order != "score" && order != "file") throw Usage{"--order", "must be score or file: \"" + order + "\""};
        SourceFile source;
        if (!open_source(source, file)) return void(*result = EXIT_FAILED);
        std::string why;
        // The folder is made before the scan, which can take a while, so that
        // a folder that cannot be made is told at once.
        if (!export_dir.empty() && !make_folder(export_dir, why)) {
            report(export_dir, why);
            return void(*result = EXIT_FAILED);
        }
        const int64_t size = source.size();
        // A bar on a terminal for files that take more than a moment.
        const bool bar = error_is_terminal() && size >= (int64_t{256} << 20);
        const std::function<void(int64_t)> progress = progress_bar("scanning", size);
        // The report's overview is made in the scan's pass.
        OverviewMap map;
        map.block = overview_block_size(size);
        OverviewMap* const report_map = report_path.empty() ? nullptr : &map;
        RegionList list;
        const bool scanned = scan_file(source, least, least_score, report_map,
                                       bar ? progress : std::function<void(int64_t)>{}, list, why);
        if (bar) clear_progress();
        if (!scanned) {
            report(file, why);
            return void(*result = EXIT_FAILED);
        }
        order_regions(list, order == "file" ? RegionOrder::file : RegionOrder::score, report_map);
        std::vector<ReportRegion> regions;
        for (const FoundRegion& r : list.regions)
            regions.push_back(ReportRegion{r.start, r.end, r.width_bits, r.score, {}});
        std::vector<std::string> written(regions.size());
        for (size_t i = 0; i < regions.size() && !export_dir.empty(); ++i) {
            ReportRegion& r = regions[i];
            const char last = export_dir.back();
            r.picture = export_dir + (last == '/' || last == '\\' ? "" : "/") + export_name(r);
            if (!write_picture(source, r, written[i])) return void(*result = EXIT_FAILED);
        }
        write_out(json ? as_json(size, list.left_out, regions) : as_table(size, list.left_out, regions, written));
        if (!report_path.empty()) {
            // The page: the overview with the regions marked, then the regions.
            if (!write_scan_report(report_path, file, source, map, regions, list.left_out, why)) {
                report(report_path, why);
                return void(*result = EXIT_FAILED);
            }
            if (!json) write_out("wrote the report " + report_path + "\n");
        }
    }

    // The region's PNG, the picture its export command writes; `summary`
    // gets what the export command would say of it.
    bool write_picture(SourceFile& source, const ReportRegion& region, std::string& summary) const
    {
        const BitLayout layout = region_layout(region);
        std::string why = layout_valid(layout) ? "" : "a region beyond what a picture can show";
        OutputFile out;
        int64_t past_end = 0;
        bool unread = false;
        if (!why.empty() || !out.begin(region.picture, why, file) ||
            !write_export(source, file, out, PictureFormat::png, layout, past_end, why, &unread) || !out.commit(why)) {
            report(unread ? file : region.picture, why.empty() ? "not written" : why);
            return false;
        }
        summary = "wrote " + region.picture + " (" + std::to_string(layout.width_bits) + " x " +
                  std::to_string(layout.rows) + ")";
        return true;
    }

    static std::string as_json(int64_t size, int64_t left_out, const std::vector<ReportRegion>& regions)
    {
        std::string out = "{\"size\": " + std::to_string(size) + ", \"regions\": [";
        for (size_t i = 0; i < regions.size(); ++i) {
            const ReportRegion& r = regions[i];
            out += std::string(i ? ", " : "") + "{\"start\": " + std::to_string(r.start) + ", \"end\": " +
                   std::to_string(r.end) + ", \"width_bits\": " + std::to_string(r.width_bits) +
                   ", \"score\": " + score_text(r.score) + "}";
        }
        return out + "], \"left_out\": " + std::to_string(left_out) + "}\n";
    }

    std::string as_table(int64_t size, int64_t left_out, const std::vector<ReportRegion>& regions,
                         const std::vector<std::string>& written) const
    {
        const std::string note = left_out_note(left_out);
        std::string out = visible(file) + ": " + counted(size, "byte") + ", " +
                          counted(static_cast<int64_t>(regions.size()), "region that looks", "regions that look") +
                          " like 1-bit graphics" +
                          (note.empty() ? "" : " (" + note + ")") + "\n";
        if (!regions.empty()) out += "       start         end     bytes  width_bits   score\n";
        for (size_t i = 0; i < regions.size(); ++i) {
            const ReportRegion& r = regions[i];
            char line[128];
            std::snprintf(line, sizeof line, "%12lld%12lld%10lld%12d  %.4f\n", static_cast<long long>(r.start),
                          static_cast<long long>(r.end), static_cast<long long>(r.end - r.start), r.width_bits,
                          r.score);
            out += line;
            out += "    " + export_command(file, r) + "\n";
            if (!written[i].empty()) out += "    " + written[i] + "\n";
            ViewParameters view{};
            if (region_view(r, view))
                out += "    viewer: " + viewer_words(view) + " (" + view_command(file, view) + ")\n";
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
    c->add_option("--start", command.start, "the first bit of the graphics: BYTE or BYTE.BIT")->required();
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
    c->add_option("--min-score", command.min_score,
                  min_score_help("the least score of a region listed: the weaker candidates are left out "
                                 "and counted"));
    c->add_option("--order", command.order,
                  "the order of the regions: score (best first, equal scores in file order; the default) "
                  "or file (file order)");
    c->add_flag("--json", command.json,
                "print one JSON object {size, regions: [{start, end, width_bits, score}], left_out}, "
                "the regions in the same order");
    c->add_option("--report", command.report_path,
                  "also write OUT.html: one page with the overview and every region's first rows");
    c->add_option("--export-dir", command.export_dir,
                  "also write every region listed as DIR/region-START.png, the picture its export command "
                  "writes (DIR is made if missing)");
    c->callback([] { command.run(); });
}
