// quality.h: how well graphics are found, measured on the corpus of one
// half of the sources (corpus.h): per picture kind and per filler kind, the
// pictures found (half of each covered, its width right) by size, the false
// regions in the filler, how exactly the regions' edges fall on the
// pictures' rows, and the width guess. The quality test holds the held-out
// half to its bars; finding_quality prints both halves side by side.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "corpus.h"
#include "finding.h"

struct Tally {
    int64_t total = 0, hits = 0;
    void add(bool hit) { ++total, hits += hit; }
    double share() const { return total ? 100.0 * static_cast<double>(hits) / static_cast<double>(total) : 0.0; }
};

// Pictures of 1 KiB or more, and from 512 bytes to 1 KiB.
enum : int32_t { LARGE_PICTURES = 0, SMALL_PICTURES = 1 };

struct Quality {
    std::map<std::string, Tally> found[2];      // by picture kind, for the two sizes; "" is all of them
    std::map<std::string, Tally> found_in[2];   // by filler kind
    std::map<std::string, Tally> guess_first;   // by picture kind, pictures of 1 KiB or more; "" all
    std::map<std::string, Tally> guess_top3;
    std::map<std::string, int64_t> false_regions;  // by filler kind; "" all
    std::map<std::string, int64_t> filler_bytes;
    Tally exact_edges;            // pictures found whose region's both ends lie within a row of the picture's
    std::vector<int64_t> edge_bytes;  // the farther end's distance from the picture's, per picture found
    std::vector<std::string> notes;   // misses and false regions, for reading

    double false_per_16_mib(const std::string& filler) const;
};

// The corpus of `files` files of `file_bytes` per filler kind from the
// sources of `half`, scanned with scan_bytes and guessed with guess_widths
// on every core. `why` names missing sources (the figures are then of fewer
// kinds).
Quality measure_corpus(int32_t half, int64_t files, int64_t file_bytes, uint64_t seed, std::string& why);

// The distance of a region's edge from a picture's, in bytes, forgiving
// rows of the picture that are blank (all 00 or all FF) at its ends: a
// region may leave those out, as nothing tells them from blank filler.
int64_t edge_distance(const uint8_t* file, const Placement& placed, int64_t start, int64_t end);

// The figures of both halves side by side, one row per figure, per picture
// kind and per filler kind, as a Markdown table.
std::string quality_table(const Quality& tuning, const Quality& held_out);

// What scan lists by default in `bytes`: the regions of SCAN_MIN_BYTES or
// more, the weaker candidates left out.
std::vector<FoundRegion> listed_regions(const std::vector<uint8_t>& bytes);

// Rows for the real files (real_files.h), both halves side by side: the
// firmware's font runs found, and the regions in the picture-free sections
// of real programs.
std::string real_files_table(std::string& why);
