// finding.h: finding 1-bit graphics (fonts, sprites, bitmaps) in raw bytes
// by themselves: the row width of a run of bytes, and the regions of a whole
// file that look like pictures. Platform-neutral; nothing here throws.
//
// Bits are read most significant first, rows horizontal, as the viewer
// shows them.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "finding_model.h"

constexpr int32_t GUESS_MAX_WIDTH = 4096;  // bits a row, the widest guessed
constexpr int32_t GUESS_MAX_CANDIDATES = 5;

struct WidthGuess {
    int32_t width_bits;
    double score;  // 0 (nothing like rows of that width) to 1
};

// Up to `most` (at most GUESS_MAX_CANDIDATES) row widths in bits for
// bytes[0 .. length - 1], best first, into `out`; returns how many. The
// fundamental width is preferred over its multiples (8 x 16 glyphs stored a
// byte a row give 8, not 128); where it is not, and the first width's only
// rivals are its own multiples, its divisors are listed after it instead.
// Of the first three, the one whose rows look most like a picture to the
// model that scores regions comes first (a glyph read whole, or a sheet
// read a glyph wide, looks less like one than its own rows). Widths are kept to an eighth of the bits, so
// that every width is seen over at least eight rows; long runs are judged on
// their first 8 KiB.
int32_t guess_widths(const uint8_t* bytes, int64_t length, WidthGuess* out, int32_t most);

// What rows `width` bits wide give of bytes[0 .. n - 1], the rows counted
// from the first bit: the share of rows each column (bit of a row) is set
// in, and how often a bit differs from the bit below it and from the bit
// beside it, each against what columns of those shares give when their
// bits are independent.
struct RowStatistics {
    std::vector<double> density;  // by column
    double vertical = 1;          // observed / independent, below
    double plain_bytes = 0;       // share of the bytes that are 00 or FF
    double spread = 0;            // how evenly the columns vary: 1 / width (one column) to 1 (all alike)
    double same_bytes = 0;
    double bands = 0;             // how unevenly rows are set by their place in bands 4 to 32 rows high        // share of the bytes, not 00 or FF, the same as the byte a row below
    double horizontal = 1;        // the same, beside (within a row)
    double active = 0;            // share of the columns that change at all
    double blank = 0;             // share of the rows all 0 or all 1
    double repeated = 0;          // share of the rows, not blank, the same as the row before
    double isolated = 1;          // pixels none of whose eight neighbours is alike, against independent bits
    double isolated_typical = 1;  // the same, as the median block of 64 rows has them
    int64_t rows = 0;
};
RowStatistics row_statistics(const uint8_t* bytes, int64_t n, int32_t width);

// A region that looks like 1-bit graphics: file positions, end exclusive.
struct FoundRegion {
    int64_t start;
    int64_t end;
    int32_t width_bits;  // the best guess of its row width
    double score;        // 0 to 1: how much its rows look like a picture rather than data
    RowStatistics statistics;  // of its rows (up to 8 KiB of its middle), without the column shares
};

constexpr int64_t SCAN_MIN_BYTES = 256;  // the smallest region reported by default
// The scan returns every candidate region it judged; those that score below
// this are weaker candidates (tables and the like) that the command line
// leaves out unless asked for a lower --min-score.
constexpr double SCAN_DEFAULT_MIN_SCORE = FINDING_LEAST_SCORE;
// Regions below this are not candidates at all.
constexpr double SCAN_LEAST_SCORE = 0.1;
// For training the model that scores regions: from now on every span is
// judged to the end and every region kept, whatever it scores, so that the
// regions trained on do not depend on the model that is being replaced.
void scan_every_candidate(bool every);

// text[j] = 1 for the bytes of bytes[0 .. n - 1] that an edge is never
// pulled out over, else 0: runs of 16 or more printable characters (ASCII,
// tab, line feed, carriage return) in a row, in ASCII or in UTF-16 of
// either byte order, and tables of strings ended by NULs (3 or more
// strings of 2 or more characters, backspace and escape among them too,
// at most 32 bytes of NULs or other text between two, 64 bytes or more
// from the first string's start to the last one's NUL).
void mark_text(const uint8_t* bytes, int64_t n, std::vector<uint8_t>& text);

// The regions of bytes[0 .. length - 1] (which lie at file position `base`)
// of at least `min_bytes`, in file order. For data held in memory; files of
// any size go through scan_source.
std::vector<FoundRegion> scan_bytes(const uint8_t* bytes, int64_t length, int64_t base, int64_t min_bytes);

// The steps of scan_bytes, for callers that read a file a chunk at a time.
// A chunk is scanned for spans (file positions) that look like graphics,
// judging windows that start before `windows_end` (relative to `bytes`) on
// the bytes that follow them; chunks read SCAN_OVERLAP bytes past the
// windows they judge, so that every window sees the bytes a whole-file scan
// gives it. The spans of all chunks are merged; each merged span is then
// judged by pieces of 2 KiB, and each run of pieces that look like a
// picture on its own: its width guessed on its first 8 KiB, its edges
// looked for from inside it out (as far again as the run at most, and
// 1 MiB), its rows scored on up to 8 KiB of its middle.
struct ScanSpan {
    int64_t start;
    int64_t end;
    int64_t windows;  // how many windows in it looked like rows
    int64_t lag;      // the bytes from one of their rows to the next
    int64_t wide = 0; // the widest multiple of `lag` that matched about as well in any of them
    double match = 1; // the best row match of any of them against independent bits (lower is better)
};
constexpr int64_t SCAN_OVERLAP = 1024;
// Windows start every SCAN_STEP bytes from the start of the bytes given, so
// chunks start at multiples of it.
constexpr int64_t SCAN_STEP = 256;
// Spans that lie too far from the ends of the windows judged to join the
// spans of other chunks, and that are too thin to be regions, are left out.
std::vector<ScanSpan> scan_spans(const uint8_t* bytes, int64_t length, int64_t base, int64_t windows_end);
// Sorts `spans` and joins those of the same row lag that overlap or lie
// close together.
std::vector<ScanSpan> merge_spans(std::vector<ScanSpan> spans);
// Whether `span` of a file of `size` bytes, read through `read`, holds
// graphics of at least min_bytes; adds the regions of its rows to `found`,
// their edges to the byte. `failed` is set when a read fails.
using ScanRead = std::function<bool(int64_t offset, int64_t count, uint8_t* into)>;
bool judge_span(const ScanRead& read, int64_t size, const ScanSpan& span, int64_t min_bytes,
                std::vector<FoundRegion>& found, bool& failed);

// A whole file of `size` bytes, read through `read` (which copies `count`
// bytes from `offset` into `into`, false when it cannot; called from one
// thread at a time), scanned in chunks on `threads` threads. Memory holds a
// chunk a thread, the bytes around the edges each thread is judging (up to
// some 2 MiB), the spans at the chunks' edges and the candidates found
// (some 100 bytes each). `progress`, if set, is told the bytes done so
// far (from one thread at a time). False when a read failed; `regions` then
// holds nothing.
constexpr int64_t SCAN_CHUNK_BYTES = int64_t{1} << 20;
using ScanProgress = std::function<void(int64_t done)>;
bool scan_source(int64_t size, const ScanRead& read, int32_t threads, int64_t min_bytes,
                 const ScanProgress& progress, std::vector<FoundRegion>& regions);
// A region judged, with the start of the span it came from and its place
// among that span's regions: what puts the regions of spans judged apart
// in the order a whole-file scan gives them.
struct JudgedRegion {
    FoundRegion region;
    int64_t span_start;
    size_t place;
};
// Judges, of the spans scan_spans found in a chunk (the same `base` and
// `windows_end`), those that can join no other chunk's, adding their
// regions to `judged` and leaving the others in `spans`: a chunk's spans
// need not wait for the whole file. False when a read failed.
bool judge_inner_spans(std::vector<ScanSpan>& spans, int64_t base, int64_t windows_end, const ScanRead& read,
                       int64_t size, int64_t min_bytes, std::vector<JudgedRegion>& judged);
// The second half of scan_source, for callers that found the spans
// themselves (chunk by chunk, scan_spans with SCAN_OVERLAP, and
// judge_inner_spans): merges them, judges each on `threads` threads
// (reading its first bytes through `read`) and puts their regions and
// those judged before (`judged`) in file order into `regions`. False when
// a read failed.
bool judge_spans(std::vector<ScanSpan> spans, std::vector<JudgedRegion> judged, const ScanRead& read, int64_t size,
                 int32_t threads, int64_t min_bytes,
                 std::vector<FoundRegion>& regions);
// judge_spans in two steps, for callers that keep the judged regions
// elsewhere than in memory: the spans merged and judged into `judged`...
bool judge_edge_spans(std::vector<ScanSpan> spans, const ScanRead& read, int64_t size, int32_t threads,
                      int64_t min_bytes, std::vector<JudgedRegion>& judged);
// ...and all judged regions, taken by `next` in judged_before order (false
// when there are no more), made into the file's regions, each handed to
// `region` in file order once it can change no more.
bool judged_before(const JudgedRegion& a, const JudgedRegion& b);
void resolve_regions(const std::function<bool(JudgedRegion&)>& next, int64_t min_bytes,
                     const std::function<void(const FoundRegion&)>& region);
