// real_files.cpp: the halves, the VGA fonts of the firmware images, and the
// measure of a scan on them.
#include "real_files.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

namespace {

namespace fs = std::filesystem;

constexpr uint64_t FNV_BASIS = 0xcbf29ce484222325ull;
constexpr uint64_t FNV_PRIME = 0x100000001b3ull;

uint64_t fnv1a(uint64_t hash, const uint8_t* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i) hash = (hash ^ bytes[i]) * FNV_PRIME;
    return hash;
}

int32_t half_of(uint64_t hash) { return static_cast<int32_t>(hash >> 63); }

bool read_whole(const std::string& path, std::vector<uint8_t>& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// The real paths (links followed) of the regular files directly in `folder`
// whose names start with `prefix` and end with `suffix`. False when the
// folder cannot be read.
bool files_in(const std::string& folder, const std::string& prefix, const std::string& suffix,
              std::set<std::string>& paths)
{
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) return false;
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error) return false;
        const std::string name = it->path().filename().string();
        if (name.size() < prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const fs::path real = fs::canonical(it->path(), error);
        if (!error && fs::is_regular_file(real, error)) paths.insert(real.string());
    }
    return true;
}

// ---- Fonts ------------------------------------------------------------------

// The letter A of each standard VGA font; the font starts 65 glyphs before it.
struct FontShape {
    int32_t height;
    uint8_t a[16];
};
constexpr FontShape VGA_SHAPES[] = {
    {8, {0x30, 0x78, 0xCC, 0xCC, 0xFC, 0xCC, 0xCC, 0x00}},
    {14, {0x00, 0x00, 0x10, 0x38, 0x6C, 0xC6, 0xC6, 0xFE, 0xC6, 0xC6, 0xC6, 0x00, 0x00, 0x00}},
    {16, {0x00, 0x00, 0x10, 0x38, 0x6C, 0xC6, 0xC6, 0xFE, 0xC6, 0xC6, 0xC6, 0xC6, 0x00, 0x00, 0x00, 0x00}},
};

bool all_of_bytes(const uint8_t* glyph, int32_t height, uint8_t value)
{
    return std::all_of(glyph, glyph + height, [value](uint8_t b) { return b == value; });
}

// How many glyphs of `height` rows the code page 437 font at `start` holds,
// judged on the bytes: 0 when its first 128 glyphs are not there, 128, or
// 256 when the second half is there too. In these fonts glyphs 0 and 32
// (and 255) are blank, every other glyph draws something, and glyph 219 is
// the full block. The firmware checked: the VGA BIOS fonts hold 256 glyphs;
// the bochs BIOS 8x8 font stops at 128 (code follows it, 80 FC B1 75 ...,
// so glyph 219's place holds no full block); in memtest86+ the 8x16 font
// holds 256 (glyph 128 is the C cedilla, 176-178 the shades, 219 the full
// block, 254 the small square, 255 blank) and the bytes past glyph 255 are
// ASCII text ("abcdefghijkl..."), not glyph rows.
int32_t glyph_count(const std::vector<uint8_t>& bytes, int64_t start, int32_t height)
{
    const int64_t size = static_cast<int64_t>(bytes.size());
    auto glyph = [&](int32_t g) { return bytes.data() + start + int64_t{g} * height; };
    auto drawn_as_expected = [&](int32_t from, int32_t to, auto blank_glyph) {
        for (int32_t g = from; g < to; ++g)
            if (all_of_bytes(glyph(g), height, 0) != blank_glyph(g)) return false;
        return true;
    };
    if (start < 0 || start > size - 128 * height) return 0;
    if (!drawn_as_expected(0, 128, [](int32_t g) { return g == 0 || g == 32; })) return 0;
    if (start > size - 256 * height || !all_of_bytes(glyph(219), height, 0xFF) ||
        !drawn_as_expected(128, 256, [](int32_t g) { return g == 255; }))
        return 128;
    return 256;
}

// ---- Measures -----------------------------------------------------------------

int64_t overlap(int64_t a_start, int64_t a_end, int64_t b_start, int64_t b_end)
{
    return std::max<int64_t>(0, std::min(a_end, b_end) - std::max(a_start, b_start));
}

}  // namespace

int32_t corpus_half(const std::vector<uint8_t>& bytes) { return half_of(fnv1a(FNV_BASIS, bytes.data(), bytes.size())); }

int32_t corpus_half(const std::string& key)
{
    return half_of(fnv1a(FNV_BASIS, reinterpret_cast<const uint8_t*>(key.data()), key.size()));
}

std::vector<FontTable> vga_fonts(const std::vector<uint8_t>& bytes)
{
    std::vector<FontTable> fonts;
    for (const FontShape& shape : VGA_SHAPES) {
        const uint8_t* a = shape.a;
        for (auto at = bytes.begin(); (at = std::search(at, bytes.end(), a, a + shape.height)) != bytes.end(); ++at) {
            const int64_t start = (at - bytes.begin()) - int64_t{65} * shape.height;
            if (const int32_t glyphs = glyph_count(bytes, start, shape.height))
                fonts.push_back(FontTable{start, start + int64_t{glyphs} * shape.height, shape.height, glyphs});
        }
    }
    std::sort(fonts.begin(), fonts.end(), [](const FontTable& x, const FontTable& y) { return x.start < y.start; });
    // A table overlapping one before it is left out (no two fonts share bytes).
    std::vector<FontTable> kept;
    for (const FontTable& f : fonts)
        if (kept.empty() || f.start >= kept.back().end) kept.push_back(f);
    return kept;
}

std::vector<FirmwareFile> firmware_files(std::string& why)
{
    struct Place {
        const char *folder, *prefix, *suffix;
    };
    const Place places[] = {{"/usr/share/vgabios", "", ".bin"},
                            {"/usr/share/bochs", "BIOS-", ""},
                            {"/boot", "memtest86+", ".bin"},
                            {"/boot", "memtest86+", ".efi"}};
    std::set<std::string> paths;
    for (const Place& p : places)
        if (!files_in(p.folder, p.prefix, p.suffix, paths)) why += std::string("cannot read ") + p.folder + "; ";
    std::vector<FirmwareFile> files;
    std::set<uint64_t> seen;
    for (const std::string& path : paths) {
        FirmwareFile file{path, {}, {}, 0};
        if (!read_whole(path, file.bytes)) {
            why += "cannot read " + path + "; ";
            continue;
        }
        const uint64_t hash = fnv1a(FNV_BASIS, file.bytes.data(), file.bytes.size());
        if (!seen.insert(hash).second) continue;
        file.half = half_of(hash);
        file.fonts = vga_fonts(file.bytes);
        if (file.fonts.empty()) {
            why += "no font in " + path + "; ";
            continue;
        }
        files.push_back(std::move(file));
    }
    return files;
}

std::vector<FontTable> merged_font_runs(const std::vector<FontTable>& fonts)
{
    std::vector<FontTable> sorted = fonts, runs;
    std::sort(sorted.begin(), sorted.end(), [](const FontTable& x, const FontTable& y) { return x.start < y.start; });
    for (const FontTable& f : sorted)
        if (!runs.empty() && runs.back().end == f.start)
            runs.back().end = f.end;
        else
            runs.push_back(f);
    return runs;
}

FirmwareResult measure_firmware(const FirmwareFile& file, const std::vector<FoundRegion>& regions)
{
    const std::vector<FontTable> runs = merged_font_runs(file.fonts);
    FirmwareResult result{file.path, file.half, static_cast<int64_t>(runs.size()), 0, 0, 0, 0};
    for (const FontTable& run : runs) {
        const int64_t length = run.end - run.start;
        int64_t covered_at_8 = 0, best_overlap = 0, edge = length;
        bool whole = false;
        for (const FoundRegion& r : regions) {
            const int64_t shared = overlap(r.start, r.end, run.start, run.end);
            if (r.width_bits != 8 || shared == 0) continue;
            covered_at_8 += shared;  // regions do not overlap one another
            whole |= r.start <= run.start && r.end >= run.end && run.start - r.start <= 64 && r.end - run.end <= 64;
            if (shared > best_overlap)
                best_overlap = shared, edge = std::max(std::abs(r.start - run.start), std::abs(r.end - run.end));
        }
        result.runs_found_whole += whole;
        result.runs_found_at_8 += 2 * covered_at_8 >= length;
        result.worst_edge = std::max(result.worst_edge, edge);
    }
    for (const FoundRegion& r : regions)
        result.other_regions += std::none_of(file.fonts.begin(), file.fonts.end(), [&](const FontTable& f) {
            return overlap(r.start, r.end, f.start, f.end) > 0;
        });
    return result;
}
