// corpus.cpp: the pictures (console fonts as they are, re-rendered wider, as
// sheets of glyphs side by side, with padded rows; Unifont's glyphs; PCF
// glyph bitmaps as stored; shapes drawn here) and the filler (random, runs
// of 0x00 and 0xFF, text in ASCII and UTF-16, deflate output, whole
// programs, tables of records) of the corpus.
#include "corpus.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

namespace fs = std::filesystem;

std::string place(const char* variable, const char* fallback)
{
    const char* value = std::getenv(variable);
    return value && *value ? value : fallback;
}

// A whole file, decompressed when it is gzip (zlib's gz reader passes
// other files through as they are).
std::vector<uint8_t> read_file(const fs::path& path)
{
    std::vector<uint8_t> bytes;
    gzFile in = gzopen(path.string().c_str(), "rb");
    if (!in) return bytes;
    uint8_t buffer[65536];
    for (int n; (n = gzread(in, buffer, sizeof buffer)) > 0;) bytes.insert(bytes.end(), buffer, buffer + n);
    gzclose(in);
    return bytes;
}

uint32_t little(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t{b[at + 3]} << 24;
}

// A bitmap font: glyphs of `height` rows of row_bytes bytes, the pixels
// `width` wide in the first bits of each row.
struct Font {
    int32_t width, height, row_bytes;
    std::vector<uint8_t> glyphs;
    int64_t count() const { return static_cast<int64_t>(glyphs.size()) / (height * row_bytes); }
};

// Keeps only the glyphs that the font's table of characters maps (a font
// without one keeps them all): the slots no character uses hold whatever
// the font's maker left there, which in many 512-glyph console fonts is
// noise, not glyphs. The table follows the glyphs: one entry per glyph,
// in units of `unit` bytes (PSF1: 16-bit codes, the entry ended by 0xFFFF;
// PSF2: UTF-8, ended by 0xFF).
void keep_mapped_glyphs(const std::vector<uint8_t>& b, size_t table, int64_t count, size_t unit, Font& font)
{
    const size_t per_glyph = static_cast<size_t>(font.height * font.row_bytes);
    std::vector<uint8_t> kept;
    size_t at = table;
    for (int64_t g = 0; g < count; ++g) {
        const size_t first = at;
        auto ended = [&] { return unit == 1 ? b[at] == 0xFF : b[at] == 0xFF && b[at + 1] == 0xFF; };
        while (at + unit <= b.size() && !ended()) at += unit;
        if (at + unit > b.size()) return;  // a table cut short: the glyphs as they are
        if (at > first)
            kept.insert(kept.end(), font.glyphs.begin() + static_cast<long>(g * per_glyph),
                        font.glyphs.begin() + static_cast<long>((g + 1) * per_glyph));
        at += unit;
    }
    font.glyphs = std::move(kept);
}

bool decode_psf(const std::vector<uint8_t>& b, Font& font)
{
    if (b.size() >= 4 && b[0] == 0x36 && b[1] == 0x04) {  // PSF1: 8 wide, 256 or 512 glyphs
        font = Font{8, b[3], 1, {}};
        const int64_t count = b[2] & 1 ? 512 : 256;
        const size_t bytes = static_cast<size_t>(count) * b[3];
        if (b[3] == 0 || b.size() < 4 + bytes) return false;
        font.glyphs.assign(b.begin() + 4, b.begin() + 4 + static_cast<long>(bytes));
        if (b[2] & 2) keep_mapped_glyphs(b, 4 + bytes, count, 2, font);
        return true;
    }
    if (b.size() >= 32 && b[0] == 0x72 && b[1] == 0xb5 && b[2] == 0x4a && b[3] == 0x86) {
        const uint32_t header = little(b, 8), flags = little(b, 12), count = little(b, 16), per_glyph = little(b, 20);
        const uint32_t height = little(b, 24), width = little(b, 28);
        if (width == 0 || width > 64 || height == 0 || height > 64 || per_glyph != height * ((width + 7) / 8) ||
            count > 65536 || b.size() < header + size_t{count} * per_glyph)
            return false;
        font = Font{static_cast<int32_t>(width), static_cast<int32_t>(height), static_cast<int32_t>((width + 7) / 8), {}};
        font.glyphs.assign(b.begin() + header, b.begin() + header + static_cast<long>(size_t{count} * per_glyph));
        if (flags & 1) keep_mapped_glyphs(b, header + size_t{count} * per_glyph, count, 1, font);
        return true;
    }
    return false;
}

bool pixel(const Font& f, int64_t glyph, int32_t y, int32_t x)
{
    const size_t at = static_cast<size_t>((glyph * f.height + y) * f.row_bytes + x / 8);
    return f.glyphs[at] >> (7 - x % 8) & 1;
}

// The font's glyphs from a random one on, `width` pixels wide (scaled from
// the font's own width when different) in rows of `row_bytes` bytes,
// `across` glyphs side by side.
Picture glyph_picture(const Font& f, Random& random, int64_t want, int32_t width, int32_t across, int32_t row_bytes)
{
    const int64_t line_bytes = int64_t{row_bytes} * across * f.height;  // one line of glyphs
    const int64_t lines = std::max<int64_t>(1, std::min(want, f.count() * f.height * row_bytes) / line_bytes);
    Picture p{std::vector<uint8_t>(static_cast<size_t>(lines * line_bytes), 0), row_bytes * across * 8};
    int64_t glyph = static_cast<int64_t>(random() % static_cast<uint64_t>(f.count()));
    const int32_t drawn = std::min(width, row_bytes * 8);
    for (int64_t line = 0; line < lines; ++line)
        for (int32_t a = 0; a < across; ++a, glyph = (glyph + 1) % f.count())
            for (int32_t y = 0; y < f.height; ++y)
                for (int32_t x = 0; x < drawn; ++x)
                    if (pixel(f, glyph, y, x * f.width / width)) {
                        const int64_t bit = ((line * f.height + y) * across + a) * row_bytes * 8 + x;
                        p.bytes[static_cast<size_t>(bit / 8)] |= static_cast<uint8_t>(0x80 >> bit % 8);
                    }
    return p;
}

// PSF fonts are named CHARSET-FAMILYSIZE: the charsets of one family share
// most glyphs, so the family and size name the item.
std::string font_family(const fs::path& path)
{
    const std::string name = path.filename().string();
    const size_t dash = name.find('-');
    return name.substr(dash == std::string::npos ? 0 : dash + 1);
}

// Unifont's .hex lines, CODE:HEX, 32 hex digits for a glyph of 8 x 16 and
// 64 for 16 x 16: each block of 256 code points of one half, as fonts of
// its glyphs of each width.
std::vector<Font> unifont_pages(const std::vector<uint8_t>& hex, int32_t half)
{
    std::vector<Font> pages;
    Font narrow{8, 16, 1, {}}, wide{16, 16, 2, {}};
    int64_t page = -1;
    auto flush = [&] {
        for (Font* f : {&narrow, &wide}) {
            if (f->count() >= 16) pages.push_back(*f);
            f->glyphs.clear();
        }
    };
    auto digit = [](uint8_t c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    for (size_t at = 0; at < hex.size();) {
        size_t end = at;
        while (end < hex.size() && hex[end] != '\n') ++end;
        const std::string line(hex.begin() + static_cast<long>(at), hex.begin() + static_cast<long>(end));
        at = end + 1;
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        const int64_t code = std::strtoll(line.substr(0, colon).c_str(), nullptr, 16);
        const size_t digits = line.size() - colon - 1;
        if (code >> 8 != page) {
            flush();
            page = code >> 8;
        }
        if (source_half("unifont page " + std::to_string(page)) != half || (digits != 32 && digits != 64)) continue;
        Font& f = digits == 32 ? narrow : wide;
        for (size_t i = colon + 1; i + 1 < line.size(); i += 2)
            f.glyphs.push_back(static_cast<uint8_t>(digit(static_cast<uint8_t>(line[i])) << 4 |
                                                    digit(static_cast<uint8_t>(line[i + 1]))));
    }
    flush();
    return pages;
}

// The glyph bitmaps table of a PCF font of glyphs that fill their cells
// (fixed-width fonts), as the file stores it: `font.width` is the row in
// bits with its padding, and the bits are turned most significant first
// when the file keeps them the other way round.
bool decode_pcf_bitmaps(const std::vector<uint8_t>& b, Font& font)
{
    auto u32 = [&](size_t at, bool big) {
        return big ? uint32_t{b[at]} << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3] : little(b, at);
    };
    if (b.size() < 8 || std::memcmp(b.data(), "\x01" "fcp", 4) != 0) return false;
    const uint32_t tables = little(b, 4);
    uint32_t height = 0;
    size_t bitmaps = 0;
    for (uint32_t i = 0; i < tables && 8 + 16 * (i + 1) <= b.size(); ++i) {
        const uint32_t type = little(b, 8 + 16 * i), offset = little(b, 8 + 16 * i + 12);
        if (offset + 24 > b.size()) return false;
        if (type == 2 || type == 0x100) {  // accelerators: the cell is the font's ascent and descent
            const bool big = little(b, offset) & 4;
            height = u32(offset + 12, big) + u32(offset + 16, big);  // font ascent + descent
        }
        if (type == 8) bitmaps = offset;
    }
    if (!bitmaps || height == 0 || height > 64) return false;
    const uint32_t format = little(b, bitmaps);
    const bool big = format & 4, msb_first = format & 8;
    const uint32_t pad = 1u << (format & 3), count = u32(bitmaps + 4, big);
    const size_t sizes = bitmaps + 8 + size_t{count} * 4;
    if (count == 0 || count > 65536 || sizes + 16 > b.size()) return false;
    const size_t data = sizes + 16, length = u32(sizes + 4 * (format & 3), big);
    if (data + length > b.size() || length % (size_t{pad} * height) != 0 || length / (pad * height) != count) return false;
    font = Font{static_cast<int32_t>(pad * 8), static_cast<int32_t>(height), static_cast<int32_t>(pad), {}};
    font.glyphs.assign(b.begin() + static_cast<long>(data), b.begin() + static_cast<long>(data + length));
    if (!msb_first)
        for (uint8_t& v : font.glyphs) v = static_cast<uint8_t>(__builtin_bitreverse8(v));
    return true;
}

// Frames of a sprite: filled and outlined circles, boxes and lines at random
// places on a canvas of a random width.
// Padded, the canvas is any width from 5 to 60 pixels in rows of whole
// bytes (or of two or four bytes).
Picture sprite_picture(Random& random, int64_t want, bool padded)
{
    static const int32_t widths[] = {16, 24, 32, 48, 64, 128};
    const int32_t w = padded ? static_cast<int32_t>(5 + random() % 56) : widths[random() % 6];
    const int32_t h = static_cast<int32_t>(8 + random() % 57);
    const int32_t unit = padded ? static_cast<int32_t>(1 << random() % 3) : 1;
    const int32_t row = (w + 8 * unit - 1) / (8 * unit) * unit;
    const int64_t frames = std::max<int64_t>(1, want / (int64_t{row} * h));
    Picture p{std::vector<uint8_t>(static_cast<size_t>(frames * row * h), 0), row * 8};
    auto uniform = [&](int32_t n) { return static_cast<int32_t>(random() % static_cast<uint64_t>(n)); };
    for (int64_t f = 0; f < frames; ++f) {
        uint8_t* frame = p.bytes.data() + f * row * h;
        auto set = [&](int32_t x, int32_t y) {
            if (x >= 0 && x < w && y >= 0 && y < h) frame[y * row + x / 8] |= static_cast<uint8_t>(0x80 >> x % 8);
        };
        for (int32_t shapes = 1 + uniform(3); shapes > 0; --shapes) {
            const int32_t cx = uniform(w), cy = uniform(h), r = 2 + uniform(std::max(1, std::min(w, h) / 2));
            const int32_t kind = uniform(4);
            for (int32_t y = cy - r; y <= cy + r; ++y)
                for (int32_t x = cx - r; x <= cx + r; ++x) {
                    const int32_t d = (x - cx) * (x - cx) + (y - cy) * (y - cy);
                    const bool edge = std::abs(x - cx) == r || std::abs(y - cy) == r;
                    if ((kind == 0 && d <= r * r) || (kind == 1 && d <= r * r && d >= (r - 2) * (r - 2)) ||
                        (kind == 2 && edge) || (kind == 3 && std::abs(x - cx) == std::abs(y - cy)))
                        set(x, y);
                }
        }
    }
    return p;
}

std::vector<fs::path> sorted_files(const std::string& folder)
{
    std::vector<fs::path> paths;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        if (entry.is_regular_file(error)) paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    return paths;
}

// Whole ELF and PE files of the folders (':' between them) whose names fall
// in `half`, every section of them, up to 48 MiB, in name order.
std::vector<std::vector<uint8_t>> program_files(const std::string& folders, int32_t half)
{
    constexpr int64_t MOST_BYTES = int64_t{48} << 20, LARGEST = int64_t{16} << 20;
    std::vector<std::vector<uint8_t>> programs;
    int64_t total = 0;
    for (size_t at = 0; at <= folders.size() && total < MOST_BYTES;) {
        const size_t colon = std::min(folders.find(':', at), folders.size());
        for (const fs::path& path : sorted_files(folders.substr(at, colon - at))) {
            std::error_code error;
            const auto size = static_cast<int64_t>(fs::file_size(path, error));
            if (error || size < 65536 || size > LARGEST || total + size > MOST_BYTES ||
                source_half(path.filename().string()) != half)
                continue;
            std::ifstream in(path, std::ios::binary);
            char magic[4] = {};
            in.read(magic, 4);
            if (std::memcmp(magic, "\x7f" "ELF", 4) != 0 && std::memcmp(magic, "MZ", 2) != 0) continue;
            std::vector<uint8_t> bytes(static_cast<size_t>(size));
            in.seekg(0);
            in.read(reinterpret_cast<char*>(bytes.data()), size);
            if (in.gcount() != size) continue;
            total += size;
            programs.push_back(std::move(bytes));
        }
        at = colon + 1;
    }
    return programs;
}

// Tables of fixed-size records, as programs and data files hold them:
// pointers that rise through a region, counters, offsets into a string
// table, small enumerations and flags, floats and padding, each table with
// a layout of its own.
void record_tables(Random& random, uint8_t* out, int64_t count)
{
    auto put = [](uint8_t* at, uint64_t value, int32_t bytes) {
        for (int32_t i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(value >> 8 * i);
    };
    for (int64_t i = 0; i < count;) {
        struct Field {
            int32_t kind, bytes;
            uint64_t base, step;
        };
        std::vector<Field> fields;
        int32_t size = 0;
        const int32_t want = static_cast<int32_t>(4 + 4 * (random() % 16));
        while (size < want) {
            const int32_t kind = static_cast<int32_t>(random() % 7);
            const int32_t bytes = kind == 0 ? 8 : kind <= 3 ? 4 : kind == 4 ? static_cast<int32_t>(1 << random() % 2) : 4;
            const uint64_t base = kind == 0 ? (random() % 2 ? 0x7f0000000000 : 0x400000) + (random() & 0xFFFFF0)
                                            : random() % 4096;
            fields.push_back(Field{kind, bytes, base, 1 + random() % 64});
            size += bytes;
        }
        const int64_t records = std::min<int64_t>((count - i) / size + 1, 16 + random() % 2048);
        for (int64_t r = 0; r < records && i < count; ++r) {
            uint8_t record[80] = {};
            int32_t at = 0;
            for (Field& f : fields) {
                uint64_t v = 0;
                switch (f.kind) {
                case 0: v = f.base + f.step * 8 * static_cast<uint64_t>(r) + random() % 8; break;   // pointer
                case 1: v = f.base + f.step * static_cast<uint64_t>(r); break;                       // counter
                case 2: v = (f.base += 1 + random() % 24); break;                                    // string offset
                case 3: v = random() % 5; break;                                                     // enumeration
                case 4: v = random() % 3 == 0 ? random() % 256 : 0; break;                           // flags
                case 5: {                                                                            // float
                    const float x = static_cast<float>(random() % 100000) / 100.0f;
                    uint32_t bits;
                    std::memcpy(&bits, &x, 4);
                    v = bits;
                    break;
                }
                default: v = 0;  // padding
                }
                put(record + at, v, f.bytes);
                at += f.bytes;
            }
            const int64_t take = std::min<int64_t>(size, count - i);
            std::memcpy(out + i, record, static_cast<size_t>(take));
            i += take;
        }
    }
}

// `count` bytes of `source` from a random place on, going round.
void copy_from(const std::vector<uint8_t>& source, Random& random, uint8_t* out, int64_t count)
{
    size_t at = random() % source.size();
    for (int64_t i = 0; i < count; ++i, at = (at + 1) % source.size()) out[i] = source[at];
}

}  // namespace

int32_t source_half(const std::string& key)
{
    uint64_t hash = 0xcbf29ce484222325;
    for (const char c : key) hash = (hash ^ static_cast<uint8_t>(c)) * 0x100000001b3;
    // FNV-1a leaves its top bits alike for names that differ in a letter or
    // two: mixed as MurmurHash3 finishes, every bit depends on every byte.
    hash = (hash ^ hash >> 33) * 0xff51afd7ed558ccd;
    hash = (hash ^ hash >> 33) * 0xc4ceb9fe1a85ec53;
    return static_cast<int32_t>((hash ^ hash >> 33) >> 63);
}

CorpusSources corpus_sources(std::string& why, int32_t half)
{
    CorpusSources sources;
    // Drawn sources (sprites, tables, random bytes) split by their seeds.
    const uint64_t salt = half == TUNING_HALF ? 0 : 0x9E3779B97F4A7C15;

    auto fonts = std::make_shared<std::vector<Font>>();
    const std::string font_dir = place("BITLOUPE_CORPUS_FONTS", "/usr/share/consolefonts");
    for (const fs::path& path : sorted_files(font_dir)) {
        Font font{};
        if (source_half(font_family(path)) == half && decode_psf(read_file(path), font) && font.count() >= 16)
            fonts->push_back(std::move(font));
    }
    if (fonts->empty()) why += "no PSF fonts in " + font_dir + "; ";

    auto pick = [](std::shared_ptr<std::vector<Font>> list) {
        return [list](Random& random) -> const Font& { return (*list)[random() % list->size()]; };
    };
    if (!fonts->empty()) {
        auto font = pick(fonts);
        sources.pictures.push_back({"font", [font](Random& r, int64_t want) {
                                        const Font& f = font(r);
                                        return glyph_picture(f, r, want, f.width, 1, f.row_bytes);
                                    }});
        sources.pictures.push_back({"font sheet", [font](Random& r, int64_t want) {
                                        const Font& f = font(r);
                                        const int32_t across = static_cast<int32_t>(8 << r() % 3) / f.row_bytes;
                                        return glyph_picture(f, r, want, f.width, std::max(across, 2), f.row_bytes);
                                    }});
        sources.pictures.push_back({"font re-rendered", [font](Random& r, int64_t want) {
                                        // One draw after the other: the order of a call's
                                        // arguments is the compiler's choice.
                                        const Font& f = font(r);
                                        const int32_t width = r() % 2 ? 12 : 16;
                                        return glyph_picture(f, r, want, width, 1, (width + 7) / 8);
                                    }});
        sources.pictures.push_back({"font padded", [font](Random& r, int64_t want) {
                                        // Rows padded to two or four bytes, as font formats store them.
                                        const Font& f = font(r);
                                        const int32_t row_bytes = std::max(f.row_bytes, r() % 2 ? 2 : 4);
                                        return glyph_picture(f, r, want, f.width, 1, row_bytes);
                                    }});
    }

    auto unifont = std::make_shared<std::vector<Font>>(
        unifont_pages(read_file(place("BITLOUPE_CORPUS_UNIFONT", "/usr/share/unifont/unifont.hex")), half));
    if (unifont->empty()) why += "no Unifont glyphs; ";
    else {
        auto page = pick(unifont);
        sources.pictures.push_back({"unifont", [page](Random& r, int64_t want) {
                                        const Font& f = page(r);
                                        return glyph_picture(f, r, want, f.width, 1, f.row_bytes);
                                    }});
    }

    auto pcf = std::make_shared<std::vector<Font>>();
    const char* pcf_given = std::getenv("BITLOUPE_CORPUS_PCF");
    const std::string pcf_dir = pcf_given && *pcf_given ? pcf_given : "/usr/share/fonts/X11/misc";
    for (const fs::path& path : sorted_files(pcf_dir)) {
        const std::string name = path.filename().string();
        if (name.find(".pcf") == std::string::npos || (!(pcf_given && *pcf_given) && name.rfind("ter-", 0) != 0))
            continue;
        // ter-u12n_iso-8859-1 and ter-u12n_koi8-r share most glyphs: the
        // split is by size and weight.
        if (source_half(name.substr(0, name.find('_'))) != half) continue;
        Font font{};
        if (decode_pcf_bitmaps(read_file(path), font) && font.count() >= 16) pcf->push_back(std::move(font));
    }
    if (pcf->empty()) why += "no PCF fonts in " + pcf_dir + "; ";
    else {
        auto font = pick(pcf);
        // The glyph bitmaps as the file stores them, rows padded and all.
        sources.pictures.push_back({"pcf as stored", [font](Random& r, int64_t want) {
                                        const Font& f = font(r);
                                        return glyph_picture(f, r, want, f.row_bytes * 8, 1, f.row_bytes);
                                    }});
    }
    sources.pictures.push_back({"sprites", [salt](Random& r, int64_t want) {
                                    Random drawn(r() ^ salt);
                                    return sprite_picture(drawn, want, false);
                                }});
    sources.pictures.push_back({"sprites padded", [salt](Random& r, int64_t want) {
                                    Random drawn(r() ^ salt);
                                    return sprite_picture(drawn, want, true);
                                }});

    auto text = std::make_shared<std::vector<uint8_t>>();
    const std::string text_dir = place("BITLOUPE_CORPUS_TEXT", "/usr/share/common-licenses");
    for (const fs::path& path : sorted_files(text_dir)) {
        if (source_half(path.filename().string()) != half) continue;
        const std::vector<uint8_t> bytes = read_file(path);
        text->insert(text->end(), bytes.begin(), bytes.end());
    }
    if (text->size() < 4096) why += "no text in " + text_dir + "; ";

    auto programs = std::make_shared<std::vector<std::vector<uint8_t>>>(
        program_files(place("BITLOUPE_CORPUS_PROGRAMS", "/usr/bin:/usr/lib/x86_64-linux-gnu"), half));
    if (programs->empty()) why += "no programs; ";

    sources.fillers.push_back({"random", [salt](Random& r, uint8_t* out, int64_t n) {
                                   Random drawn(r() ^ salt);
                                   for (int64_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(drawn());
                               }});
    sources.fillers.push_back({"00/FF runs", [](Random& r, uint8_t* out, int64_t n) {
                                   for (int64_t i = 0; i < n;) {
                                       const int64_t run = std::min<int64_t>(n - i, 16 + r() % 8192);
                                       std::memset(out + i, r() % 2 ? 0xFF : 0x00, static_cast<size_t>(run));
                                       i += run;
                                   }
                               }});
    if (text->size() >= 4096) {
        sources.fillers.push_back({"text", [text](Random& r, uint8_t* out, int64_t n) { copy_from(*text, r, out, n); }});
        sources.fillers.push_back({"UTF-16 text", [text](Random& r, uint8_t* out, int64_t n) {
                                       // Little- or big-endian, one file's worth at a time.
                                       const bool big = r() % 2;
                                       std::vector<uint8_t> plain(static_cast<size_t>(n / 2 + 1));
                                       copy_from(*text, r, plain.data(), static_cast<int64_t>(plain.size()));
                                       for (int64_t i = 0; i < n; ++i)
                                           out[i] = (i % 2 == 0) != big ? plain[static_cast<size_t>(i / 2)] : 0;
                                   }});
        sources.fillers.push_back({"deflate", [text](Random& r, uint8_t* out, int64_t n) {
                                       std::vector<uint8_t> plain(65536), packed(compressBound(65536));
                                       for (int64_t i = 0; i < n;) {
                                           copy_from(*text, r, plain.data(), 65536);
                                           uLongf size = static_cast<uLongf>(packed.size());
                                           compress2(packed.data(), &size, plain.data(), 65536, 9);
                                           const int64_t take = std::min<int64_t>(n - i, static_cast<int64_t>(size));
                                           std::memcpy(out + i, packed.data(), static_cast<size_t>(take));
                                           i += take;
                                       }
                                   }});
    }
    if (!programs->empty())
        sources.fillers.push_back({"programs", [programs](Random& r, uint8_t* out, int64_t n) {
                                       // Programs end to end, as a disk image holds them: from a
                                       // place in one to its end, then others from their start
                                       // (a small program is not repeated round and round).
                                       const std::vector<uint8_t>* from = &(*programs)[r() % programs->size()];
                                       size_t at = r() % from->size();
                                       for (int64_t i = 0; i < n;) {
                                           const int64_t take = std::min<int64_t>(n - i, static_cast<int64_t>(from->size() - at));
                                           std::memcpy(out + i, from->data() + at, static_cast<size_t>(take));
                                           i += take;
                                           from = &(*programs)[r() % programs->size()], at = 0;
                                       }
                                   }});
    sources.fillers.push_back({"record tables", [salt](Random& r, uint8_t* out, int64_t n) {
                                   Random drawn(r() ^ salt);
                                   record_tables(drawn, out, n);
                               }});
    return sources;
}

CorpusFile make_corpus_file(const CorpusSources& sources, size_t filler, Random& random, int64_t size,
                            int32_t regions, int64_t min_bytes, int64_t max_bytes)
{
    CorpusFile file{std::vector<uint8_t>(static_cast<size_t>(size)), {}, sources.fillers[filler].name};
    sources.fillers[filler].make(random, file.bytes.data(), size);
    // The file cut into `regions` slots, a picture at a random place in each.
    const int64_t slot = size / std::max(regions, 1);
    for (int32_t i = 0; i < regions; ++i) {
        const Named<PictureMaker>& maker = sources.pictures[random() % sources.pictures.size()];
        // Sizes spread evenly over their logarithm: as many pictures from 512
        // bytes to 1 KiB as from 8 to 16 KiB.
        const double spread = static_cast<double>(random() % 1000000) / 1e6;
        const int64_t want = static_cast<int64_t>(static_cast<double>(min_bytes) *
                                                  std::pow(static_cast<double>(max_bytes) / static_cast<double>(min_bytes), spread));
        Picture p = maker.make(random, std::min(want, slot / 2));
        const int64_t length = static_cast<int64_t>(p.bytes.size());
        if (length < min_bytes || length > slot) continue;
        const int64_t start = i * slot + static_cast<int64_t>(random() % static_cast<uint64_t>(slot - length + 1));
        std::memcpy(file.bytes.data() + start, p.bytes.data(), static_cast<size_t>(length));
        file.placed.push_back(Placement{start, start + length, p.width_bits, maker.name});
    }
    return file;
}
