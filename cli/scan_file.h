// scan_file.h: the scan of a whole file as the command line runs it: one
// pass of the chunked reader (chunks.h), the classes of the overview's
// blocks in the same pass, and the regions judged kept in memory up to a
// bound and beyond it in sorted runs in a temporary file, so that a file of
// any size takes the same memory to judge.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "finding.h"
#include "overview_map.h"
#include "source_file.h"

enum class RegionOrder {
    score,  // best first; equal scores in file order
    file,
};

// The regions shown of those a scan judged: the ones that score at least
// the least score asked for, and how many scored less (weaker candidates).
struct RegionList {
    std::vector<FoundRegion> regions;
    int64_t left_out = 0;
};

// Scans the whole file for graphics (finding.h) on every core, in one pass
// with the classes of its blocks when `map` is given (whose block size is
// set). `list` gets the regions that score at least `min_score`, in file
// order, and the count of the others. `progress`, when given, is told the
// bytes read so far. False, with `why`, when the file cannot be read (or
// the judged regions cannot be kept).
bool scan_file(SourceFile& source, int64_t min_bytes, double min_score, OverviewMap* map,
               const std::function<void(int64_t)>& progress, RegionList& list, std::string& why);

// Puts the regions in `order` and, when `map` is given, marks exactly their
// blocks as graphics: the scan's table, its report and the overview all take
// their regions from here.
void order_regions(RegionList& list, RegionOrder order, OverviewMap* map);
