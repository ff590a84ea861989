// overview_map.h: the classes of every block of a file, as the overview
// picture and the scan report show them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "finding.h"
#include "overview.h"
#include "pictures.h"
#include "source_file.h"

struct OverviewMap {
    int64_t block = 0;                // bytes a block (a pixel)
    int64_t columns = 0;              // pixels a row of the picture
    int64_t rows = 0;
    std::vector<BlockClass> classes;  // one per block, in file order
};

// Classifies every block of the file, on every core. False, with `why`,
// when the file cannot be read.
bool make_overview(SourceFile& source, int64_t block_bytes, OverviewMap& map, std::string& why);

// Scans the whole file for graphics (finding.h) on every core, in one pass
// with the classes of its blocks when `map` is given (whose block size is
// set). `regions` gets every candidate region the scan judged, in file
// order; list_regions picks those shown. `progress`, when given, is told the
// bytes read so far. False, with `why`, when the file cannot be read.
bool scan_file(SourceFile& source, int64_t min_bytes, OverviewMap* map, const std::function<void(int64_t)>& progress,
               std::vector<FoundRegion>& regions, std::string& why);

enum class RegionOrder {
    score,  // best first; equal scores in file order
    file,
};

// The regions shown of those a scan judged: the ones that score at least
// `min_score`, in `order`, and how many scored less (weaker candidates).
struct RegionList {
    std::vector<FoundRegion> regions;
    int64_t left_out = 0;
};

// Picks the regions shown and, when `map` is given, marks exactly their
// blocks as graphics: the scan's table, its report and the overview all take
// their regions from here.
RegionList list_regions(const std::vector<FoundRegion>& judged, double min_score, RegionOrder order,
                        OverviewMap* map);

// Marks the blocks that lie mostly inside a region [start, end) as graphics.
void mark_graphics(OverviewMap& map, int64_t start, int64_t end);

// The picture's rows (RGB), top row first; blocks past the end are black.
RowSource overview_rows(const OverviewMap& map);
