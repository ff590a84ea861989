// quality.cpp: the corpus measured file by file on every core; each file's
// figures are added in file order, so that the notes come out the same
// whatever the threads do.
#include "quality.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "finding.h"
#include "real_files.h"

double Quality::false_per_16_mib(const std::string& filler) const
{
    const auto bytes = filler_bytes.find(filler);
    const auto count = false_regions.find(filler);
    if (bytes == filler_bytes.end() || bytes->second <= 0) return 0;
    return static_cast<double>(count == false_regions.end() ? 0 : count->second) * 16.0 * 1048576.0 /
           static_cast<double>(bytes->second);
}

int64_t edge_distance(const uint8_t* file, const Placement& placed, int64_t start, int64_t end)
{
    const int64_t row = std::max<int64_t>(1, placed.width_bits / 8);
    auto blank = [&](int64_t at) {
        for (int64_t i = 1; i < row; ++i)
            if (file[at + i] != file[at]) return false;
        return file[at] == 0 || file[at] == 0xFF;
    };
    // The picture's first and last rows that are not blank.
    int64_t first = placed.start, last = placed.end;
    while (first + row <= placed.end && blank(first)) first += row;
    while (last - row > first && blank(last - row)) last -= row;
    if (first >= last) return 0;  // a blank picture: any edge will do
    auto distance = [](int64_t at, int64_t low, int64_t high) { return at < low ? low - at : at > high ? at - high : 0; };
    // Each edge may lie anywhere from the picture's own to its first or last
    // row that shows something.
    return std::max(distance(start, placed.start, first), distance(end, last, placed.end));
}

namespace {

// BITLOUPE_QUALITY_FEATURES=1 keeps every candidate and notes its row
// statistics, for training the model that scores them (tools/train_finding.py).
bool every_candidate()
{
    static const bool every = [] {
        const bool on = std::getenv("BITLOUPE_QUALITY_FEATURES") != nullptr;
        scan_every_candidate(on);
        return on;
    }();
    return every;
}

// BITLOUPE_QUALITY_SCORES=1 lists every candidate the scan returns, whatever
// its score, so that the notes give the scores of the false ones: for
// setting the least score listed (tools/train_finding.py).
bool all_scores()
{
    static const bool all = std::getenv("BITLOUPE_QUALITY_SCORES") != nullptr;
    return all;
}

// A candidate's statistics for training, as a line of its own: the half,
// whether it is a picture, and the figures tools/train_finding.py reads.
void print_features(int32_t half, bool picture, const char* kind, const FoundRegion& r)
{
    std::printf("real-features %d %d %s %lld %d %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f\n", half, picture, kind,
                static_cast<long long>(r.end - r.start), r.width_bits, r.score, r.statistics.vertical,
                r.statistics.horizontal, r.statistics.active, r.statistics.blank, r.statistics.repeated,
                r.statistics.isolated, r.statistics.isolated_typical, r.statistics.plain_bytes, r.statistics.same_bytes, r.statistics.spread, r.statistics.bands);
}

void measure_file(const CorpusFile& file, Quality& q)
{
    const int64_t size = static_cast<int64_t>(file.bytes.size());
    int64_t filler = size;
    for (const Placement& p : file.placed) {
        filler -= p.end - p.start;
        if (p.end - p.start < 1024) continue;
        WidthGuess guess[GUESS_MAX_CANDIDATES];
        const int32_t n = guess_widths(file.bytes.data() + p.start, p.end - p.start, guess, 3);
        const bool right = n > 0 && guess[0].width_bits == p.width_bits;
        bool near = right;
        for (int32_t i = 1; i < n; ++i) near |= guess[i].width_bits == p.width_bits;
        for (const std::string& kind : {p.what, std::string()}) {
            q.guess_first[kind].add(right);
            q.guess_top3[kind].add(near);
        }
        if (!right) {
            char note[200];
            std::snprintf(note, sizeof note, "guess: %s width %d (%lld bytes) in %s: got %d %d %d", p.what.c_str(),
                          p.width_bits, static_cast<long long>(p.end - p.start), file.filler.c_str(),
                          n > 0 ? guess[0].width_bits : 0, n > 1 ? guess[1].width_bits : 0,
                          n > 2 ? guess[2].width_bits : 0);
            q.notes.push_back(note);
        }
    }
    q.filler_bytes[file.filler] += filler;
    q.filler_bytes[""] += filler;

    const std::vector<FoundRegion> regions = listed_regions(file.bytes);
    for (const Placement& p : file.placed) {
        const int64_t length = p.end - p.start;
        if (length < 512) continue;
        const int32_t size_class = length >= 1024 ? LARGE_PICTURES : SMALL_PICTURES;
        const FoundRegion* hit = nullptr;
        for (const FoundRegion& r : regions) {
            const int64_t covered = std::min(r.end, p.end) - std::max(r.start, p.start);
            if (r.width_bits == p.width_bits && 2 * covered >= length) hit = &r;
        }
        for (const std::string& kind : {p.what, std::string()}) q.found[size_class][kind].add(hit != nullptr);
        q.found_in[size_class][file.filler].add(hit != nullptr);
        q.found_in[size_class][""].add(hit != nullptr);
        char note[200];
        if (!hit) {
            std::snprintf(note, sizeof note, "missed: %s width %d at %lld (%lld bytes) in %s", p.what.c_str(),
                          p.width_bits, static_cast<long long>(p.start), static_cast<long long>(length),
                          file.filler.c_str());
            q.notes.push_back(note);
            continue;
        }
        const int64_t distance = edge_distance(file.bytes.data(), p, hit->start, hit->end);
        q.edge_bytes.push_back(distance);
        // Within a row of the picture's edges, and on its rows: an edge
        // inside a row cuts out a picture whose rows are torn in two.
        const int64_t row = std::max(1, p.width_bits / 8);
        const bool on_rows = p.width_bits % 8 != 0 || ((hit->start - p.start) % row == 0 && (hit->end - p.end) % row == 0);
        q.exact_edges.add(distance <= row && on_rows);
        if (distance > row || !on_rows) {
            std::snprintf(note, sizeof note, "edge: %s width %d at %lld..%lld in %s: %lld..%lld", p.what.c_str(),
                          p.width_bits, static_cast<long long>(p.start), static_cast<long long>(p.end),
                          file.filler.c_str(), static_cast<long long>(hit->start), static_cast<long long>(hit->end));
            q.notes.push_back(note);
        }
    }
    for (const FoundRegion& r : regions) {
        bool placed = false;
        int64_t inside = 0;
        for (const Placement& p : file.placed) {
            placed |= r.start < p.end && p.start < r.end;
            inside += std::max<int64_t>(0, std::min(r.end, p.end) - std::max(r.start, p.start));
        }
        if (every_candidate()) {
            // 1: mostly a picture; 0: no picture at all; 2: some of each.
            const int32_t label = !placed ? 0 : 2 * inside >= r.end - r.start ? 1 : 2;
            char f[256];
            std::snprintf(f, sizeof f, "features %d %s %lld %d %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f", label, file.filler.c_str()[0] == '0' ? "zeros" : file.filler.substr(0, file.filler.find(' ')).c_str(),
                          static_cast<long long>(r.end - r.start), r.width_bits, r.score, r.statistics.vertical, r.statistics.horizontal, r.statistics.active, r.statistics.blank, r.statistics.repeated, r.statistics.isolated, r.statistics.isolated_typical, r.statistics.plain_bytes, r.statistics.same_bytes, r.statistics.spread, r.statistics.bands);
            q.notes.push_back(f);
        }
        if (placed) continue;
        ++q.false_regions[file.filler];
        ++q.false_regions[""];
        char note[200];
        std::snprintf(note, sizeof note, "false region in %s: %lld..%lld width %d score %.6f", file.filler.c_str(),
                      static_cast<long long>(r.start), static_cast<long long>(r.end), r.width_bits, r.score);
        q.notes.push_back(note);
    }
}

void add(Quality& to, const Quality& from)
{
    for (int32_t c = 0; c < 2; ++c) {
        for (const auto& [k, t] : from.found[c]) to.found[c][k].total += t.total, to.found[c][k].hits += t.hits;
        for (const auto& [k, t] : from.found_in[c]) to.found_in[c][k].total += t.total, to.found_in[c][k].hits += t.hits;
    }
    for (const auto& [k, t] : from.guess_first) to.guess_first[k].total += t.total, to.guess_first[k].hits += t.hits;
    for (const auto& [k, t] : from.guess_top3) to.guess_top3[k].total += t.total, to.guess_top3[k].hits += t.hits;
    for (const auto& [k, n] : from.false_regions) to.false_regions[k] += n;
    for (const auto& [k, n] : from.filler_bytes) to.filler_bytes[k] += n;
    to.exact_edges.total += from.exact_edges.total, to.exact_edges.hits += from.exact_edges.hits;
    to.edge_bytes.insert(to.edge_bytes.end(), from.edge_bytes.begin(), from.edge_bytes.end());
    to.notes.insert(to.notes.end(), from.notes.begin(), from.notes.end());
}

}  // namespace

Quality measure_corpus(int32_t half, int64_t files, int64_t file_bytes, uint64_t seed, std::string& why)
{
    every_candidate();  // sets the engine's switch before the first scan
    const CorpusSources sources = corpus_sources(why, half);
    const int64_t kinds = static_cast<int64_t>(sources.fillers.size()), count = files * kinds;
    std::vector<Quality> each(static_cast<size_t>(count));
    std::atomic<int64_t> next{0};
    auto work = [&] {
        for (int64_t i; (i = next++) < count;) {
            // Each file from a generator of its own, so that it does not
            // depend on which thread made the ones before.
            Random random(seed * 1000003 + static_cast<uint64_t>(i));
            const CorpusFile file =
                make_corpus_file(sources, static_cast<size_t>(i % kinds), random, file_bytes, 8, 256, 16384);
            measure_file(file, each[static_cast<size_t>(i)]);
        }
    };
    std::vector<std::thread> pool;
    const int64_t threads = std::clamp<int64_t>(std::thread::hardware_concurrency(), 1, 8);
    for (int64_t t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();
    Quality all;
    for (const Quality& q : each) add(all, q);
    return all;
}

namespace {

std::string percent(const Tally& t)
{
    if (t.total == 0) return "-";
    char text[48];
    std::snprintf(text, sizeof text, "%.1f%% (%lld)", t.share(), static_cast<long long>(t.total));
    return text;
}

const Tally& tally(const std::map<std::string, Tally>& tallies, const std::string& key)
{
    static const Tally none;
    const auto it = tallies.find(key);
    return it == tallies.end() ? none : it->second;
}

void row(std::string& out, const std::string& what, const std::string& tuning, const std::string& held_out)
{
    char line[256];
    std::snprintf(line, sizeof line, "| %s | %s | %s |\n", what.c_str(), tuning.c_str(), held_out.c_str());
    out += line;
}

int64_t percentile(std::vector<int64_t> values, int32_t p)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, values.size() * static_cast<size_t>(p) / 100)];
}

}  // namespace

std::string quality_table(const Quality& tuning, const Quality& held_out)
{
    const Quality* q[2] = {&tuning, &held_out};
    std::string out = "| what | tuning half | held-out half |\n|---|---|---|\n";
    auto both = [&](const std::string& what, auto figure) { row(out, what, figure(*q[0]), figure(*q[1])); };
    both("scan: pictures of 1 KiB or more found", [](const Quality& x) { return percent(tally(x.found[LARGE_PICTURES], "")); });
    both("scan: pictures of 512 bytes to 1 KiB found", [](const Quality& x) { return percent(tally(x.found[SMALL_PICTURES], "")); });
    both("scan: false regions per 16 MiB of filler", [](const Quality& x) {
        char text[64];
        const auto n = x.false_regions.count("") ? x.false_regions.at("") : 0;
        std::snprintf(text, sizeof text, "%.2f (%lld in %.0f MiB)", x.false_per_16_mib(""), static_cast<long long>(n),
                      x.filler_bytes.count("") ? static_cast<double>(x.filler_bytes.at("")) / 1048576.0 : 0.0);
        return std::string(text);
    });
    both("scan: edges on the picture's rows, within a row of its edges", [](const Quality& x) { return percent(x.exact_edges); });
    both("scan: edge distance, median / 90th percentile", [](const Quality& x) {
        return std::to_string(percentile(x.edge_bytes, 50)) + " / " + std::to_string(percentile(x.edge_bytes, 90)) + " bytes";
    });
    both("guess-width: first right (1 KiB or more)", [](const Quality& x) { return percent(tally(x.guess_first, "")); });
    both("guess-width: among the first three", [](const Quality& x) { return percent(tally(x.guess_top3, "")); });
    std::vector<std::string> kinds, fillers;
    for (const Quality* x : q) {
        for (const auto& [k, t] : x->found[LARGE_PICTURES])
            if (!k.empty() && std::find(kinds.begin(), kinds.end(), k) == kinds.end()) kinds.push_back(k);
        for (const auto& [k, n] : x->filler_bytes)
            if (!k.empty() && std::find(fillers.begin(), fillers.end(), k) == fillers.end()) fillers.push_back(k);
    }
    for (const std::string& k : kinds)
        both("picture " + k + ": found, >= 1 KiB / 512 B to 1 KiB / width first", [&](const Quality& x) {
            return percent(tally(x.found[LARGE_PICTURES], k)) + " / " + percent(tally(x.found[SMALL_PICTURES], k)) +
                   " / " + percent(tally(x.guess_first, k));
        });
    for (const std::string& f : fillers)
        both("filler " + f + ": found, >= 1 KiB / 512 B to 1 KiB / false per 16 MiB", [&](const Quality& x) {
            char text[32];
            std::snprintf(text, sizeof text, "%.2f", x.false_per_16_mib(f));
            return percent(tally(x.found_in[LARGE_PICTURES], f)) + " / " + percent(tally(x.found_in[SMALL_PICTURES], f)) +
                   " / " + text;
        });
    return out;
}

std::string real_files_table(std::string& why)
{
    every_candidate();
    struct Side {
        int64_t runs = 0, whole = 0, at_8 = 0, worst = 0, others = 0, files = 0;
        int64_t bytes = 0, free_bytes = 0, regions = 0, false_regions = 0, programs = 0;
    } side[2];
    for (const FirmwareFile& f : firmware_files(why)) {
        const std::vector<FoundRegion> regions = listed_regions(f.bytes);
        const FirmwareResult r = measure_firmware(f, regions);
        if (every_candidate())
            for (const FoundRegion& region : regions)
                print_features(f.half, measure_firmware(f, {region}).other_regions == 0, "firmware", region);
        if (std::getenv("BITLOUPE_QUALITY_NOTES")) {
            std::string note = f.path + (f.half == TUNING_HALF ? " (tuning):" : " (held-out):");
            for (const FontTable& run : merged_font_runs(f.fonts))
                note += " font " + std::to_string(run.start) + ".." + std::to_string(run.end);
            for (const FoundRegion& region : regions)
                note += "; region " + std::to_string(region.start) + ".." + std::to_string(region.end) + " at " +
                        std::to_string(region.width_bits);
            std::fprintf(stderr, "%s\n", note.c_str());
        }
        Side& s = side[f.half];
        s.files++, s.runs += r.runs, s.whole += r.runs_found_whole, s.at_8 += r.runs_found_at_8;
        s.worst = std::max(s.worst, r.worst_edge), s.others += r.other_regions;
    }
    for (const RealProgram& p : real_programs(why)) {
        std::vector<uint8_t> bytes(static_cast<size_t>(p.size));
        std::FILE* in = std::fopen(p.path.c_str(), "rb");
        if (!in) continue;
        const size_t got = std::fread(bytes.data(), 1, bytes.size(), in);
        std::fclose(in);
        if (got != bytes.size()) continue;
        const std::vector<FoundRegion> regions = listed_regions(bytes);
        const ProgramResult r = measure_program(bytes, regions);
        if (every_candidate())
            for (const FoundRegion& region : regions)
                if (measure_program(bytes, {region}).false_regions == 1) print_features(p.half, 0, "program", region);
        if (all_scores())
            for (const FoundRegion& region : regions)
                if (measure_program(bytes, {region}).false_regions == 1)
                    std::printf("real-false-score %d %.6f\n", p.half, region.score);
        Side& s = side[p.half];
        s.programs++, s.bytes += r.bytes, s.free_bytes += r.picture_free_bytes, s.regions += r.regions;
        s.false_regions += r.false_regions;
    }
    std::string out;
    auto text = [](const char* format, auto... values) {
        char line[160];
        std::snprintf(line, sizeof line, format, values...);
        return std::string(line);
    };
    row(out, "firmware: font runs found whole at width 8 (edges within 64 bytes)",
        text("%lld of %lld in %lld files", (long long)side[0].whole, (long long)side[0].runs, (long long)side[0].files),
        text("%lld of %lld in %lld files", (long long)side[1].whole, (long long)side[1].runs, (long long)side[1].files));
    row(out, "firmware: runs half covered at width 8 / worst edge / other regions",
        text("%lld / %lld bytes / %lld", (long long)side[0].at_8, (long long)side[0].worst, (long long)side[0].others),
        text("%lld / %lld bytes / %lld", (long long)side[1].at_8, (long long)side[1].worst, (long long)side[1].others));
    auto per_16 = [](const Side& s) {
        return s.free_bytes ? static_cast<double>(s.false_regions) * 16.0 * 1048576.0 / static_cast<double>(s.free_bytes) : 0.0;
    };
    row(out, "real programs: regions mostly in picture-free sections per 16 MiB of them",
        text("%.2f (%lld of %lld regions; %lld files, %.0f MiB, %.0f MiB of them picture-free)", per_16(side[0]),
             (long long)side[0].false_regions, (long long)side[0].regions, (long long)side[0].programs,
             static_cast<double>(side[0].bytes) / 1048576.0, static_cast<double>(side[0].free_bytes) / 1048576.0),
        text("%.2f (%lld of %lld regions; %lld files, %.0f MiB, %.0f MiB of them picture-free)", per_16(side[1]),
             (long long)side[1].false_regions, (long long)side[1].regions, (long long)side[1].programs,
             static_cast<double>(side[1].bytes) / 1048576.0, static_cast<double>(side[1].free_bytes) / 1048576.0));
    return out;
}

std::vector<FoundRegion> listed_regions(const std::vector<uint8_t>& bytes)
{
    std::vector<FoundRegion> regions;
    for (const FoundRegion& r : scan_bytes(bytes.data(), static_cast<int64_t>(bytes.size()), 0, SCAN_MIN_BYTES))
        if (r.score >= SCAN_DEFAULT_MIN_SCORE || every_candidate() || all_scores()) regions.push_back(r);
    return regions;
}
