// real_files.cpp: the halves, the VGA fonts of the firmware images, the
// sections of ELF and PE files, the list of installed programs, and the
// measures of a scan on them.
#include "real_files.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// ---- Sections -----------------------------------------------------------------

// Little-endian reads that stay inside the bytes: a read that does not fit
// gives 0.
struct Reader {
    const std::vector<uint8_t>& bytes;

    uint64_t size() const { return bytes.size(); }
    bool fits(uint64_t at, uint64_t count) const { return at <= bytes.size() && count <= bytes.size() - at; }
    uint64_t le(uint64_t at, uint32_t count) const
    {
        if (!fits(at, count)) return 0;
        uint64_t value = 0;
        for (uint32_t i = count; i > 0; --i) value = value << 8 | bytes[at + i - 1];
        return value;
    }
    // The text from `at` up to a NUL, `end`, the end of the bytes or `most`
    // characters, whichever comes first.
    std::string text(uint64_t at, uint64_t end, uint64_t most) const
    {
        std::string out;
        for (end = std::min<uint64_t>(end, bytes.size()); at < end && out.size() < most && bytes[at]; ++at)
            out += static_cast<char>(bytes[at]);
        return out;
    }
};

// Adds the part `name` at start .. start + length - 1, cut to the file; a
// part with no bytes in the file is left out.
void add_part(std::vector<FileSection>& out, const Reader& r, std::string name, uint64_t start, uint64_t length,
              bool picture_free)
{
    if (start >= r.size() || length == 0) return;
    const uint64_t end = start + std::min(length, r.size() - start);
    out.push_back(FileSection{std::move(name), static_cast<int64_t>(start), static_cast<int64_t>(end), picture_free});
}

// Sections that cannot hold a picture by their name alone (ELF and PE).
bool picture_free_name(const std::string& name)
{
    static const char* const names[] = {
        ".eh_frame", ".eh_frame_hdr", ".gcc_except_table", ".got", ".got.plt", ".init_array", ".fini_array",
        ".preinit_array", ".ctors", ".dtors", ".tm_clone_table", ".dynamic", ".comment", ".interp", ".hash",
        ".gnu.hash", ".symtab", ".strtab", ".shstrtab", ".dynsym", ".dynstr", ".gnu_debuglink", ".gnu_debugaltlink",
        ".pdata", ".xdata", ".idata", ".edata", ".didat", ".reloc", ".CRT"};
    static const char* const prefixes[] = {".plt", ".rel.", ".rela.", ".relr.", ".data.rel.ro", ".gnu.version",
                                           ".note", ".debug", ".zdebug", ".stab"};
    for (const char* n : names)
        if (name == n) return true;
    for (const char* p : prefixes)
        if (name.compare(0, std::strlen(p), p) == 0) return true;
    return false;
}

// ELF section types that hold no picture whatever their name: symbols,
// strings, relocations, hashes, the dynamic table, notes, pointer arrays,
// groups, version needs and unwind tables.
bool picture_free_elf_type(uint64_t type)
{
    switch (type) {
    case 2: case 3: case 4: case 5: case 6: case 7: case 9: case 11:    // symbols .. dynamic symbols
    case 14: case 15: case 16: case 17: case 18: case 19:               // arrays, groups, RELR
    case 0x6ffffff6: case 0x6ffffffd: case 0x6ffffffe: case 0x6fffffff:  // GNU hash, versions
    case 0x70000001:                                                    // x86-64 unwind
        return true;
    default:
        return false;
    }
}

constexpr uint64_t SHT_NULL = 0, SHT_NOBITS = 8, SHF_EXECINSTR = 0x4;
constexpr uint64_t NAME_MOST = 256;

void elf_sections(const Reader& r, std::vector<FileSection>& out)
{
    const bool wide = r.bytes[4] == 2;
    // Offsets of the header fields for 32 and 64-bit files.
    const uint64_t header_size = wide ? 64 : 52, section_size = wide ? 64 : 40;
    const uint64_t ph_at = r.le(wide ? 0x20 : 0x1C, wide ? 8 : 4), sh_at = r.le(wide ? 0x28 : 0x20, wide ? 8 : 4);
    const uint64_t ph_entry = r.le(wide ? 0x36 : 0x2A, 2), ph_count = r.le(wide ? 0x38 : 0x2C, 2);
    const uint64_t sh_entry = r.le(wide ? 0x3A : 0x2E, 2);
    uint64_t sh_count = r.le(wide ? 0x3C : 0x30, 2), names_index = r.le(wide ? 0x3E : 0x32, 2);
    add_part(out, r, "ELF header", 0, std::min(header_size, r.le(wide ? 0x34 : 0x28, 2)), true);
    if (ph_at != 0) add_part(out, r, "program headers", ph_at, ph_entry * ph_count, true);
    if (sh_at == 0 || sh_at >= r.size() || sh_entry < section_size) return;

    // Section fields: name, type, flags, offset, size, link.
    auto field = [&](uint64_t index, uint32_t at32, uint32_t at64, uint32_t bytes32, uint32_t bytes64) {
        return r.le(sh_at + index * sh_entry + (wide ? at64 : at32), wide ? bytes64 : bytes32);
    };
    auto name_of = [&](uint64_t i) { return field(i, 0x00, 0x00, 4, 4); };
    auto type_of = [&](uint64_t i) { return field(i, 0x04, 0x04, 4, 4); };
    auto flags_of = [&](uint64_t i) { return field(i, 0x08, 0x08, 4, 8); };
    auto offset_of = [&](uint64_t i) { return field(i, 0x10, 0x18, 4, 8); };
    auto size_of = [&](uint64_t i) { return field(i, 0x14, 0x20, 4, 8); };
    auto link_of = [&](uint64_t i) { return field(i, 0x18, 0x28, 4, 4); };
    // Many sections: the count and the name table's index are in section 0.
    if (sh_count == 0) sh_count = size_of(0);
    if (names_index == 0xFFFF) names_index = link_of(0);
    sh_count = std::min(sh_count, (r.size() - sh_at) / sh_entry);
    add_part(out, r, "section headers", sh_at, sh_count * sh_entry, true);

    uint64_t names_at = 0, names_end = 0;
    if (names_index < sh_count && type_of(names_index) != SHT_NOBITS) {
        names_at = offset_of(names_index);
        names_end = names_at + std::min(size_of(names_index), r.size() - std::min(names_at, r.size()));
    }
    for (uint64_t i = 0; i < sh_count; ++i) {
        const uint64_t type = type_of(i);
        if (type == SHT_NULL || type == SHT_NOBITS) continue;
        const uint64_t name_offset = name_of(i);
        const std::string name =
            name_offset < names_end - names_at ? r.text(names_at + name_offset, names_end, NAME_MOST) : std::string();
        const bool free = (flags_of(i) & SHF_EXECINSTR) != 0 || picture_free_elf_type(type) || picture_free_name(name);
        add_part(out, r, name, offset_of(i), size_of(i), free);
    }
}

constexpr uint32_t SCN_CNT_CODE = 0x20, SCN_CNT_UNINITIALIZED = 0x80, SCN_MEM_EXECUTE = 0x20000000;

void pe_sections(const Reader& r, std::vector<FileSection>& out)
{
    const uint64_t pe = r.le(0x3C, 4);
    if (r.le(pe, 4) != 0x4550 || !r.fits(pe, 24)) return;  // "PE\0\0" and the COFF header
    const uint64_t coff = pe + 4;
    const uint64_t section_count = r.le(coff + 2, 2), symbols_at = r.le(coff + 8, 4), symbols = r.le(coff + 12, 4);
    const uint64_t optional_at = coff + 20, optional_size = r.le(coff + 16, 2);
    const uint64_t table_at = optional_at + optional_size;
    const uint64_t strings_at = symbols_at + symbols * 18;
    const uint64_t strings_end = symbols_at && r.fits(strings_at, 4) ? strings_at + r.le(strings_at, 4) : 0;
    add_part(out, r, "headers", 0, table_at + section_count * 40, true);

    struct Raw {
        uint64_t address, at, size;  // relative virtual address, file position, bytes in the file
    };
    std::vector<Raw> raws;
    for (uint64_t i = 0; i < section_count && r.fits(table_at + i * 40, 40); ++i) {
        const uint64_t s = table_at + i * 40;
        std::string name = r.text(s, s + 8, 8);
        // A long name: "/" and the decimal offset of the name in the string table.
        if (name.size() > 1 && name[0] == '/' && strings_end &&
            std::all_of(name.begin() + 1, name.end(), [](char c) { return c >= '0' && c <= '9'; }))
            name = r.text(strings_at + std::strtoull(name.c_str() + 1, nullptr, 10), strings_end, NAME_MOST);
        const uint64_t address = r.le(s + 12, 4), size = r.le(s + 16, 4), at = r.le(s + 20, 4);
        const uint64_t flags = r.le(s + 36, 4);
        if ((flags & SCN_CNT_UNINITIALIZED) && !(flags & SCN_CNT_CODE)) continue;
        raws.push_back(Raw{address, at, size});
        add_part(out, r, name, at, size, (flags & (SCN_CNT_CODE | SCN_MEM_EXECUTE)) != 0 || picture_free_name(name));
    }

    // The tables named by the data directories: relative virtual addresses,
    // inside a section's bytes or the headers.
    const uint64_t headers_size = r.le(optional_at + 60, 4);
    auto file_position = [&](uint64_t address, uint64_t& length) -> uint64_t {
        for (const Raw& raw : raws)
            if (address >= raw.address && address - raw.address < raw.size) {
                length = std::min(length, raw.size - (address - raw.address));
                return raw.at + (address - raw.address);
            }
        if (address >= headers_size) return UINT64_MAX;
        length = std::min(length, headers_size - address);
        return address;
    };
    const uint64_t magic = r.le(optional_at, 2);
    if (magic != 0x10B && magic != 0x20B) return;  // PE32, PE32+
    const uint64_t count_at = optional_at + (magic == 0x10B ? 92 : 108), directories_at = count_at + 4;
    const uint64_t optional_end = std::min(table_at, r.size());
    const uint64_t directories =
        std::min<uint64_t>({r.le(count_at, 4), 16, optional_end > directories_at ? (optional_end - directories_at) / 8 : 0});
    static const char* const directory_names[] = {"export table", "import table", nullptr, "exception table",
                                                  nullptr, "base relocations", "debug directory", nullptr,
                                                  nullptr, nullptr, nullptr, nullptr,
                                                  "import address table", "delay import table"};
    for (uint64_t d = 0; d < std::min<uint64_t>(directories, 14); ++d) {
        uint64_t length = r.le(directories_at + d * 8 + 4, 4);
        const uint64_t address = r.le(directories_at + d * 8, 4);
        if (!directory_names[d] || address == 0 || length == 0) continue;
        const uint64_t at = file_position(address, length);
        if (at == UINT64_MAX) continue;
        add_part(out, r, directory_names[d], at, length, true);
        if (d != 6) continue;
        // Each debug directory entry (28 bytes) names its data by file
        // position; real files have a handful, a damaged one is read no
        // further than the first 64.
        for (uint64_t e = at; e + 28 <= at + std::min<uint64_t>(length, 64 * 28) && r.fits(e, 28); e += 28)
            if (r.le(e + 24, 4) != 0) add_part(out, r, "debug data", r.le(e + 24, 4), r.le(e + 16, 4), true);
    }
    if (symbols_at != 0) {
        add_part(out, r, "COFF symbols", symbols_at, symbols * 18, true);
        if (strings_end > strings_at) add_part(out, r, "COFF strings", strings_at, strings_end - strings_at, true);
    }
}

// ---- Programs -----------------------------------------------------------------

struct Candidate {
    std::string path;
    uint64_t hash;
    int64_t size;
};

// The hash and size of the file at `path` when it starts with `magic`.
bool hash_file(const std::string& path, const char* magic, Candidate& out)
{
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) return false;
    std::vector<uint8_t> block(size_t{1} << 20);
    const size_t magic_size = std::strlen(magic);
    size_t n = std::fread(block.data(), 1, block.size(), in);
    bool ok = n >= magic_size && std::memcmp(block.data(), magic, magic_size) == 0;
    out = Candidate{path, FNV_BASIS, 0};
    for (; ok && n > 0; n = std::fread(block.data(), 1, block.size(), in)) {
        out.hash = fnv1a(out.hash, block.data(), n);
        out.size += static_cast<int64_t>(n);
    }
    ok = ok && !std::ferror(in);
    std::fclose(in);
    return ok;
}

// The real paths of the regular files a package installed; false when
// dpkg lists none.
bool package_files(const std::string& package, std::set<std::string>& paths)
{
    std::FILE* list = popen(("dpkg -L '" + package + "' 2>/dev/null").c_str(), "r");
    if (!list) return false;
    size_t found = 0;
    char line[4096];
    while (std::fgets(line, sizeof line, list)) {
        std::string path(line);
        while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
        std::error_code error;
        const fs::path real = fs::canonical(path, error);
        if (!error && fs::is_regular_file(real, error)) paths.insert(real.string()), ++found;
    }
    return pclose(list) == 0 && found > 0;
}

// The real paths of the files ending in `suffix` anywhere under `root`,
// leaving out the folders named in `skip` and those starting "wineprefix"
// or ".". False when the folder cannot be read.
bool files_under(const std::string& root, const std::string& suffix, const std::set<std::string>& skip,
                 std::set<std::string>& paths)
{
    std::error_code error;
    fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error);
    if (error) return false;
    for (; it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (error) return false;
        const std::string name = it->path().filename().string();
        if (it->is_directory(error)) {
            if (skip.count(name) || name.rfind("wineprefix", 0) == 0 || name.rfind(".", 0) == 0)
                it.disable_recursion_pending();
            continue;
        }
        if (name.size() < suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const fs::path real = fs::canonical(it->path(), error);
        if (!error && fs::is_regular_file(real, error)) paths.insert(real.string());
    }
    return true;
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

std::vector<FileSection> file_sections(const std::vector<uint8_t>& bytes)
{
    std::vector<FileSection> out;
    const Reader r{bytes};
    if (r.fits(0, 64) && std::memcmp(bytes.data(), "\x7f" "ELF", 4) == 0 && (bytes[4] == 1 || bytes[4] == 2) &&
        bytes[5] == 1)
        elf_sections(r, out);
    else if (r.fits(0, 64) && bytes[0] == 'M' && bytes[1] == 'Z')
        pe_sections(r, out);
    std::stable_sort(out.begin(), out.end(), [](const FileSection& x, const FileSection& y) {
        return x.start != y.start ? x.start < y.start : x.end < y.end;
    });
    return out;
}

std::vector<RealProgram> real_programs(std::string& why)
{
    // ELF files first, PE files after, each by real path.
    std::set<std::string> elf_paths, pe_paths;
    for (const char* package :
         {"clang-14", "llvm-14", "libllvm14", "libclang-cpp14", "gcc-12", "cpp-12", "g++-12", "firefox-esr"})
        if (!package_files(package, elf_paths)) why += std::string("package ") + package + " not installed; ";
    const char* win = std::getenv("BITLOUPE_WIN_BUILD");
    const std::string win_build = win && *win ? win : BITLOUPE_SOURCE_DIR "/build/win";
    const std::set<std::string> not_programs = {"tests", "googletest", "CMakeFiles"};
    if (!files_under(win_build, ".exe", not_programs, pe_paths)) why += "no Windows build in " + win_build + "; ";
    for (const char* folder : {"/usr/lib/gcc/x86_64-w64-mingw32", "/usr/x86_64-w64-mingw32/lib"})
        if (!files_under(folder, ".dll", {}, pe_paths)) why += std::string("cannot read ") + folder + "; ";

    std::vector<Candidate> candidates;
    for (const auto& [paths, magic] : {std::pair{&elf_paths, "\x7f" "ELF"}, std::pair{&pe_paths, "MZ"}})
        for (const std::string& path : *paths) {
            Candidate c;
            if (hash_file(path, magic, c)) candidates.push_back(std::move(c));
        }
    // One of each set of identical files, the first by path.
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& x, const Candidate& y) { return x.path < y.path; });
    std::vector<Candidate> distinct;
    std::set<uint64_t> seen;
    for (Candidate& c : candidates)
        if (seen.insert(c.hash).second) distinct.push_back(std::move(c));
    // Up to the cap in the order of the hashes.
    std::sort(distinct.begin(), distinct.end(), [](const Candidate& x, const Candidate& y) { return x.hash < y.hash; });
    std::vector<RealProgram> programs;
    int64_t total = 0;
    for (const Candidate& c : distinct)
        if (total + c.size <= REAL_PROGRAMS_MAX_BYTES) {
            total += c.size;
            programs.push_back(RealProgram{c.path, half_of(c.hash), c.size});
        }
    std::sort(programs.begin(), programs.end(), [](const RealProgram& x, const RealProgram& y) { return x.path < y.path; });
    return programs;
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
            whole |= std::abs(r.start - run.start) <= 64 && std::abs(r.end - run.end) <= 64;
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

ProgramResult measure_program(const std::vector<uint8_t>& bytes, const std::vector<FoundRegion>& regions)
{
    // The picture-free parts joined where they overlap or touch.
    std::vector<std::pair<int64_t, int64_t>> free;
    for (const FileSection& s : file_sections(bytes))  // in order of their start
        if (s.picture_free) {
            if (!free.empty() && s.start <= free.back().second)
                free.back().second = std::max(free.back().second, s.end);
            else
                free.emplace_back(s.start, s.end);
        }
    ProgramResult result{static_cast<int64_t>(bytes.size()), 0, static_cast<int64_t>(regions.size()), 0};
    for (const auto& [start, end] : free) result.picture_free_bytes += end - start;
    for (const FoundRegion& r : regions) {
        int64_t inside = 0;
        for (const auto& [start, end] : free) inside += overlap(r.start, r.end, start, end);
        result.false_regions += 2 * inside > r.end - r.start;
    }
    return result;
}
