// command_scan.cpp: `bitloupe-cli scan`, the regions of a whole file that look
// like 1-bit pictures, each with the commands that show it; with --report
// a page of them, with --export-dir their pictures.
#include <cstdio>
#include <string>
#include <vector>

#include "command_files.h"
#include "messages.h"
#include "overview_map.h"
#include "report.h"
#include "scan_file.h"
#include "subcommands.h"
#include "system.h"

void bind_scan(CLI::App& c, ScanOptions& given)
{
    c.add_option("FILE", given.file, "the file to scan")->required();
    c.add_option("--min-bytes", given.min_bytes, "the smallest region to report (default 256)");
    c.add_option("--min-score", given.min_score,
                 min_score_help("the least score of a region listed: the weaker candidates are left out "
                                "and counted"));
    c.add_option("--order", given.order,
                 "the order of the regions: score (best first, equal scores in file order; the default) "
                 "or file (file order)");
    c.add_flag("--json", given.json,
               "print one JSON object {size, regions: [{start, end, width_bits, score}], left_out}, "
               "the regions in the same order");
    c.add_option("--max-regions", given.max_regions,
                 "list at most this many, the first in the order asked for (default " +
                     std::to_string(SCAN_DEFAULT_MAX_REGIONS) + ", at most " + std::to_string(SCAN_MAX_REGIONS) + ")");
    c.add_option("--report", given.report,
                 "also write OUT.html: one page with the overview and every region's first rows");
    c.add_option("--export-dir", given.export_dir,
                 "also write every region listed as DIR/region-START.png, the picture its export command "
                 "writes (DIR is made if missing)");
}

namespace {

// The region's PNG at `path`, the picture its export command writes;
// `summary` gets what the export command would say of it.
bool write_region_picture(SourceFile& source, const std::string& file, const FoundRegion& region,
                          const std::string& path, std::string& summary)
{
    const BitLayout layout = region_layout(region);
    std::string why = layout_valid(layout) ? "" : "a region beyond what a picture can show";
    OutputFile out;
    int64_t past_end = 0;
    bool unread = false;
    if (!why.empty() || !out.begin(path, why, file) ||
        !write_export(source, out, PictureFormat::png, layout, past_end, why, &unread) || !out.commit(why)) {
        report(unread ? file : path, why.empty() ? "not written" : why);
        return false;
    }
    summary = "wrote " + path + " (" + std::to_string(layout.width_bits) + " x " + std::to_string(layout.rows) + ")";
    return true;
}

std::string as_json(int64_t size, const RegionList& list)
{
    std::string out = "{\"size\": " + std::to_string(size) + ", \"regions\": [";
    for (size_t i = 0; i < list.regions.size(); ++i) {
        const FoundRegion& r = list.regions[i];
        out += std::string(i ? ", " : "") + "{\"start\": " + std::to_string(r.start) + ", \"end\": " +
               std::to_string(r.end) + ", \"width_bits\": " + std::to_string(r.width_bits) +
               ", \"score\": " + score_text(r.score) + "}";
    }
    return out + "], \"left_out\": " + std::to_string(list.left_out) + "}\n";
}

std::string as_table(const std::string& file, int64_t size, const RegionList& list,
                     const std::vector<std::string>& written)
{
    const std::string note = left_out_note(list.left_out);
    std::string out = visible(file) + ": " + counted(size, "byte") + ", " +
                      counted(static_cast<int64_t>(list.regions.size()), "region that looks", "regions that look") +
                      " like 1-bit graphics" + (note.empty() ? "" : " (" + note + ")") + "\n";
    if (!list.regions.empty()) out += "       start         end     bytes  width_bits   score\n";
    for (size_t i = 0; i < list.regions.size(); ++i) {
        const FoundRegion& r = list.regions[i];
        char line[128];
        std::snprintf(line, sizeof line, "%12lld%12lld%10lld%12d  %.4f\n", static_cast<long long>(r.start),
                      static_cast<long long>(r.end), static_cast<long long>(r.end - r.start), r.width_bits, r.score);
        out += line;
        out += "    " + export_command(file, r) + "\n";
        if (!written[i].empty()) out += "    " + written[i] + "\n";
        ViewParameters view{};
        if (region_view(r, view)) out += "    viewer: " + viewer_words(view) + " (" + view_command(file, view) + ")\n";
    }
    return out;
}

}  // namespace

int run_scan(const ScanSettings& settings)
{
    const std::string& file = settings.file;
    const std::string& export_dir = settings.export_dir;
    SourceFile source;
    if (!open_source(source, file)) return EXIT_FAILED;
    std::string why;
    // The folder is made before the scan, which can take a while, so that a
    // folder that cannot be made is told at once.
    if (!export_dir.empty() && !make_folder(export_dir, why)) {
        report(export_dir, why);
        return EXIT_FAILED;
    }
    const int64_t size = source.size();
    // A bar on a terminal for files that take more than a moment.
    const bool bar = error_is_terminal() && size >= (int64_t{256} << 20);
    const std::function<void(int64_t)> progress = progress_bar("scanning", size);
    // The report's overview is made in the scan's pass.
    OverviewMap map;
    map.block = overview_block_size(size);
    OverviewMap* const report_map = settings.report.empty() ? nullptr : &map;
    RegionList list;
    list.limit = settings.max_regions;
    list.order = settings.order;
    const bool scanned = scan_file(source, settings.min_bytes, settings.min_score, report_map,
                                   bar ? progress : std::function<void(int64_t)>{}, list, why);
    if (bar) clear_progress();
    if (!scanned) {
        report(file, why);
        return EXIT_FAILED;
    }
    // The pictures --export-dir writes, and what was said of each.
    std::vector<std::string> pictures(list.regions.size()), written(list.regions.size());
    for (size_t i = 0; i < list.regions.size() && !export_dir.empty(); ++i) {
        const char last = export_dir.back();
        pictures[i] = export_dir + (last == '/' || last == '\\' ? "" : "/") + export_name(list.regions[i]);
        if (!write_region_picture(source, file, list.regions[i], pictures[i], written[i])) return EXIT_FAILED;
    }
    write_out(settings.json ? as_json(size, list) : as_table(file, size, list, written));
    if (!settings.report.empty()) {
        // The page: the overview with the regions marked, then the regions.
        if (!write_scan_report(settings.report, file, source, map, list.regions, pictures, list.left_out, why)) {
            report(settings.report, why);
            return EXIT_FAILED;
        }
        if (!settings.json) write_out("wrote the report " + settings.report + "\n");
    }
    if (list.cut > 0)
        report(file, "more than " + counted(settings.max_regions, "region") + ": " +
                         (settings.order == RegionOrder::score ? "the best " : "the first in the file ") +
                         (settings.max_regions == 1 ? "is" : "are") + " listed (--max-regions lists more)");
    return EXIT_DONE;
}
