// corpus.cpp: the pictures (console fonts as they are, re-rendered wider, as
// sheets of glyphs side by side; shapes drawn here) and the filler (random,
// runs of 0x00 and 0xFF, text, machine code, deflate output) of the corpus.
#include "corpus.h"

#include <zlib.h>

#include <algorithm>
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

bool decode_psf(const std::vector<uint8_t>& b, Font& font)
{
    if (b.size() >= 4 && b[0] == 0x36 && b[1] == 0x04) {  // PSF1: 8 wide, 256 or 512 glyphs
        font = Font{8, b[3], 1, {}};
        const size_t bytes = size_t{b[2] & 1 ? 512u : 256u} * b[3];
        if (b[3] == 0 || b.size() < 4 + bytes) return false;
        font.glyphs.assign(b.begin() + 4, b.begin() + 4 + static_cast<long>(bytes));
        return true;
    }
    if (b.size() >= 32 && b[0] == 0x72 && b[1] == 0xb5 && b[2] == 0x4a && b[3] == 0x86) {
        const uint32_t header = little(b, 8), count = little(b, 16), per_glyph = little(b, 20);
        const uint32_t height = little(b, 24), width = little(b, 28);
        if (width == 0 || width > 64 || height == 0 || height > 64 || per_glyph != height * ((width + 7) / 8) ||
            count > 65536 || b.size() < header + size_t{count} * per_glyph)
            return false;
        font = Font{static_cast<int32_t>(width), static_cast<int32_t>(height), static_cast<int32_t>((width + 7) / 8), {}};
        font.glyphs.assign(b.begin() + header, b.begin() + header + static_cast<long>(size_t{count} * per_glyph));
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
// the font's own width when different), `across` glyphs side by side.
Picture glyph_picture(const Font& f, Random& random, int64_t want, int32_t width, int32_t across)
{
    const int32_t row_bytes = (width + 7) / 8;
    const int64_t line_bytes = int64_t{row_bytes} * across * f.height;  // one line of glyphs
    const int64_t lines = std::max<int64_t>(1, std::min(want, f.count() * f.height * row_bytes) / line_bytes);
    Picture p{std::vector<uint8_t>(static_cast<size_t>(lines * line_bytes), 0), row_bytes * across * 8};
    int64_t glyph = static_cast<int64_t>(random() % static_cast<uint64_t>(f.count()));
    for (int64_t line = 0; line < lines; ++line)
        for (int32_t a = 0; a < across; ++a, glyph = (glyph + 1) % f.count())
            for (int32_t y = 0; y < f.height; ++y)
                for (int32_t x = 0; x < width; ++x)
                    if (pixel(f, glyph, y, x * f.width / width)) {
                        const int64_t bit = ((line * f.height + y) * across + a) * row_bytes * 8 + x;
                        p.bytes[static_cast<size_t>(bit / 8)] |= static_cast<uint8_t>(0x80 >> bit % 8);
                    }
    return p;
}

// Frames of a sprite: filled and outlined circles, boxes and lines at random
// places on a canvas of a random width.
Picture sprite_picture(Random& random, int64_t want)
{
    static const int32_t widths[] = {16, 24, 32, 48, 64, 128};
    const int32_t w = widths[random() % 6], h = static_cast<int32_t>(8 + random() % 57), row = w / 8;
    const int64_t frames = std::max<int64_t>(1, want / (int64_t{row} * h));
    Picture p{std::vector<uint8_t>(static_cast<size_t>(frames * row * h), 0), w};
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

std::vector<uint8_t> elf_text(const std::vector<uint8_t>& b)
{
    auto u16 = [&](size_t at) { return size_t{b[at]} | size_t{b[at + 1]} << 8; };
    auto u64 = [&](size_t at) { return size_t{little(b, at)} | size_t{little(b, at + 4)} << 32; };
    if (b.size() < 64 || std::memcmp(b.data(), "\x7f" "ELF\x02\x01", 6) != 0) return {};
    const size_t table = u64(0x28), entry = u16(0x3A), count = u16(0x3C), names = u16(0x3E);
    if (table + count * entry > b.size() || names >= count) return {};
    const size_t name_base = u64(table + names * entry + 0x18);
    for (size_t i = 0; i < count; ++i) {
        const size_t s = table + i * entry, offset = u64(s + 0x18), size = u64(s + 0x20);
        const size_t name = name_base + little(b, s);
        if (name + 6 <= b.size() && std::memcmp(&b[name], ".text", 6) == 0 && offset + size <= b.size())
            return std::vector<uint8_t>(b.begin() + static_cast<long>(offset), b.begin() + static_cast<long>(offset + size));
    }
    return {};
}

// `count` bytes of `source` from a random place on, going round.
void copy_from(const std::vector<uint8_t>& source, Random& random, uint8_t* out, int64_t count)
{
    size_t at = random() % source.size();
    for (int64_t i = 0; i < count; ++i, at = (at + 1) % source.size()) out[i] = source[at];
}

}  // namespace

CorpusSources corpus_sources(std::string& why)
{
    CorpusSources sources;
    auto fonts = std::make_shared<std::vector<Font>>();
    const std::string font_dir = place("BITLOUPE_CORPUS_FONTS", "/usr/share/consolefonts");
    std::error_code error;
    std::vector<fs::path> paths;
    for (const auto& entry : fs::directory_iterator(font_dir, error)) paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    for (const fs::path& path : paths) {
        Font font{};
        if (decode_psf(read_file(path), font) && font.count() >= 16) fonts->push_back(std::move(font));
    }
    if (fonts->empty()) why += "no PSF fonts in " + font_dir + "; ";

    auto pick = [fonts](Random& random) -> const Font& { return (*fonts)[random() % fonts->size()]; };
    if (!fonts->empty()) {
        sources.pictures.push_back({"font", [pick](Random& r, int64_t want) {
                                        const Font& f = pick(r);
                                        return glyph_picture(f, r, want, f.width, 1);
                                    }});
        sources.pictures.push_back({"font sheet", [pick](Random& r, int64_t want) {
                                        const Font& f = pick(r);
                                        const int32_t across = static_cast<int32_t>(8 << r() % 3) / f.row_bytes;
                                        return glyph_picture(f, r, want, f.width, std::max(across, 2));
                                    }});
        sources.pictures.push_back({"font re-rendered", [pick](Random& r, int64_t want) {
                                        // One draw after the other: the order of a call's
                                        // arguments is the compiler's choice.
                                        const Font& f = pick(r);
                                        const int32_t width = r() % 2 ? 12 : 16;
                                        return glyph_picture(f, r, want, width, 1);
                                    }});
    }
    sources.pictures.push_back({"sprites", sprite_picture});

    auto text = std::make_shared<std::vector<uint8_t>>();
    const std::string text_dir = place("BITLOUPE_CORPUS_TEXT", "/usr/share/common-licenses");
    paths.clear();
    for (const auto& entry : fs::directory_iterator(text_dir, error)) paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    for (const fs::path& path : paths) {
        const std::vector<uint8_t> bytes = read_file(path);
        text->insert(text->end(), bytes.begin(), bytes.end());
    }
    const std::string code_file = place("BITLOUPE_CORPUS_CODE", "/usr/bin/bash");
    auto code = std::make_shared<std::vector<uint8_t>>(elf_text(read_file(code_file)));
    if (text->size() < 4096) why += "no text in " + text_dir + "; ";
    if (code->size() < 4096) why += "no .text in " + code_file + "; ";

    sources.fillers.push_back({"random", [](Random& r, uint8_t* out, int64_t n) {
                                   for (int64_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(r());
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
    if (code->size() >= 4096)
        sources.fillers.push_back({"machine code", [code](Random& r, uint8_t* out, int64_t n) { copy_from(*code, r, out, n); }});
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
        const int64_t want = min_bytes + static_cast<int64_t>(random() % static_cast<uint64_t>(max_bytes - min_bytes + 1));
        Picture p = maker.make(random, std::min(want, slot / 2));
        const int64_t length = static_cast<int64_t>(p.bytes.size());
        if (length < min_bytes || length > slot) continue;
        const int64_t start = i * slot + static_cast<int64_t>(random() % static_cast<uint64_t>(slot - length + 1));
        std::memcpy(file.bytes.data() + start, p.bytes.data(), static_cast<size_t>(length));
        file.placed.push_back(Placement{start, start + length, p.width_bits, maker.name});
    }
    return file;
}
