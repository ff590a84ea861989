// report.h: the scan report, one self-contained HTML page: the overview
// picture at the top, then every region found with its place, width, score,
// the commands that show it, and a picture of its first rows. The pictures
// are PNG inside the page; no script, no other file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "overview_map.h"
#include "source_file.h"

struct ReportRegion {
    int64_t start;   // file positions, end exclusive
    int64_t end;
    int32_t width_bits;
    double score;
};

// The rows a region's picture shows: its first rows, up to 256.
constexpr int64_t REPORT_MAX_ROWS = 256;

// The commands that show a region: the export of the whole region, and the
// viewer's state where its rows are whole bytes up to 80 (empty otherwise).
std::string export_command(const std::string& file, const ReportRegion& region);
std::string viewer_state(const ReportRegion& region);

// Writes the page to `output` (replaced only when complete). False, with
// `why`, when a read or the write fails.
bool write_scan_report(const std::string& output, const std::string& file, SourceFile& source,
                       const OverviewMap& map, const std::vector<ReportRegion>& regions, std::string& why);
