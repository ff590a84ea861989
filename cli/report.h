// report.h: the scan report, one self-contained HTML page: the overview
// picture at the top, then every region the scan lists with its place, width, score,
// the commands that show it, and a picture of its first rows. The pictures
// are PNG inside the page; no script, and no other file but the links to the
// regions' own PNGs when the scan wrote them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "finding.h"
#include "layout.h"
#include "overview_map.h"
#include "source_file.h"
#include "view.h"

// The rows a region's picture shows: its first rows, up to 256.
constexpr int64_t REPORT_MAX_ROWS = 256;

// The whole region as the export command writes it: its rows one after
// another from its start.
BitLayout region_layout(const FoundRegion& region);

// The commands that show a region: the export of the whole region (to
// region-START.png)...
std::string export_name(const FoundRegion& region);
std::string export_command(const std::string& file, const FoundRegion& region);

// ...and the viewer's view of it, where its rows are whole bytes up to 80
// (false otherwise): from its start, with multiple columns, at the largest
// zoom (8, 2, 1) at which the canvas draws every byte of it; a region too
// large for that at zoom 1 is shown from its start at zoom 1.
bool region_view(const FoundRegion& region, ViewParameters& view);
// That view in the viewer's words ("sprsize 1, disp 0, zoom 2, MultiColumns
// on"), and the view command that draws it (to view-START.png).
std::string viewer_words(const ViewParameters& view);
std::string view_command(const std::string& file, const ViewParameters& view);

// What the table and the page say of the weaker candidates left out ("2
// weaker candidates left out; --min-score 0 shows them"); empty for none.
std::string left_out_note(int64_t left_out);

// Writes the page to `output` (replaced only when complete): the regions in
// the order given, each picture a link to the region's PNG (`pictures`, one
// a region, as --export-dir wrote them; empty names where none was),
// and how many weaker candidates were left out. False, with `why`, when a
// read or the write fails.
bool write_scan_report(const std::string& output, const std::string& file, SourceFile& source,
                       const OverviewMap& map, const std::vector<FoundRegion>& regions,
                       const std::vector<std::string>& pictures, int64_t left_out,
                       std::string& why);
