// Tests of the real files: the sections of a real ELF program and a real
// PE library, the same files cut short and damaged (read within their bytes,
// which AddressSanitizer checks in the sanitized build), the fonts of the
// installed firmware, and the measures of a scan on them.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "real_files.h"

namespace {

const char* const ELF_PROGRAM = "/usr/bin/bash";
const char* const PE_LIBRARY = "/usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll";

std::vector<uint8_t> read_bytes(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const FileSection* find_part(const std::vector<FileSection>& parts, const std::string& name)
{
    for (const FileSection& s : parts)
        if (s.name == name) return &s;
    return nullptr;
}

void expect_inside(const std::vector<FileSection>& parts, size_t size, const std::string& what)
{
    for (const FileSection& s : parts)
        EXPECT_TRUE(s.start >= 0 && s.start < s.end && s.end <= static_cast<int64_t>(size))
            << what << ": " << s.name << " " << s.start << ".." << s.end << " of " << size;
}

TEST(FileSections, RealProgramAndLibrary)
{
    const std::vector<uint8_t> elf = read_bytes(ELF_PROGRAM), pe = read_bytes(PE_LIBRARY);
    ASSERT_FALSE(elf.empty()) << ELF_PROGRAM;
    ASSERT_FALSE(pe.empty()) << PE_LIBRARY;
    const std::vector<FileSection> elf_parts = file_sections(elf), pe_parts = file_sections(pe);
    expect_inside(elf_parts, elf.size(), ELF_PROGRAM);
    expect_inside(pe_parts, pe.size(), PE_LIBRARY);
    const FileSection *text = find_part(elf_parts, ".text"), *rodata = find_part(elf_parts, ".rodata");
    ASSERT_TRUE(text && rodata);
    EXPECT_TRUE(text->picture_free);
    EXPECT_GT(text->end - text->start, 64 * 1024);
    EXPECT_FALSE(rodata->picture_free);
    EXPECT_EQ(find_part(elf_parts, ".bss"), nullptr);  // no bytes in the file

    const FileSection *code = find_part(pe_parts, ".text"), *relocations = find_part(pe_parts, ".reloc");
    const FileSection *table = find_part(pe_parts, "base relocations"), *debug = find_part(pe_parts, ".debug_info");
    ASSERT_TRUE(code && relocations && table && debug);  // .debug_info has a long name, from the string table
    EXPECT_TRUE(code->picture_free && relocations->picture_free && table->picture_free && debug->picture_free);
    EXPECT_TRUE(table->start >= relocations->start && table->end <= relocations->end);
    const FileSection* data = find_part(pe_parts, ".data");
    ASSERT_NE(data, nullptr);
    EXPECT_FALSE(data->picture_free);
    EXPECT_TRUE(file_sections(read_bytes("/usr/share/vgabios/vgabios.bin")).empty());
}

// Every cut of the files at a coarse step and near the end (where the ELF
// section headers are), and header fields set to values out of range.
TEST(FileSections, CutAndDamagedFilesAreReadWithinTheirBytes)
{
    for (const char* path : {ELF_PROGRAM, PE_LIBRARY}) {
        const std::vector<uint8_t> whole = read_bytes(path);
        ASSERT_GT(whole.size(), 4096u) << path;
        const size_t step = whole.size() / 97;
        for (size_t cut = 0; cut < whole.size(); cut += cut < 4096 ? 61 : step) {
            for (size_t length : {cut, whole.size() - 1 - cut % 4096}) {
                const std::vector<uint8_t> part(whole.begin(), whole.begin() + static_cast<long>(length));
                expect_inside(file_sections(part), length, std::string(path) + " cut at " + std::to_string(length));
            }
        }
        // Damage: offsets to the end of the file or past it, counts and sizes
        // at their largest, written over each header field in turn.
        auto at = [&](size_t i) { return size_t{whole[i]} | size_t{whole[i + 1]} << 8 | size_t{whole[i + 2]} << 16; };
        std::vector<size_t> fields;
        if (whole[0] == 0x7f) {
            // Header: section and program header tables, entry sizes and
            // counts, the name table's index; its section's offset and size;
            // the name of section 1.
            const size_t sections = at(0x28), names = sections + 64 * (whole[0x3E] | whole[0x3F] << 8);
            fields = {0x20, 0x28, 0x2C, 0x34, 0x38, 0x3A, 0x3C, 0x3E, names + 0x18, names + 0x20, sections + 64};
        } else {
            // COFF header: sections, symbol table and its count, optional
            // header size; directory count, debug and relocation directories;
            // the first section's size and position; the string table's size.
            const size_t pe = at(0x3C), optional = pe + 24, table = optional + (whole[pe + 20] | whole[pe + 21] << 8);
            const size_t strings = at(pe + 12) + 18 * at(pe + 16);
            fields = {0x3C, pe + 6, pe + 12, pe + 16, pe + 20, optional + 108, optional + 112 + 6 * 8,
                      optional + 112 + 5 * 8 + 4, table + 16, table + 20, strings};
        }
        for (size_t field : fields) {
            ASSERT_LE(field + 4, whole.size()) << path;
            for (const uint32_t value : {0xFFFFFFFFu, 0xFFFFu, static_cast<uint32_t>(whole.size() - 2), 1u}) {
                std::vector<uint8_t> damaged = whole;
                for (size_t i = 0; i < 4; ++i) damaged[field + i] = static_cast<uint8_t>(value >> 8 * i);
                expect_inside(file_sections(damaged), damaged.size(),
                              std::string(path) + " field " + std::to_string(field) + " = " + std::to_string(value));
            }
        }
    }
}

TEST(FirmwareFiles, FindTheStandardFonts)
{
    std::string why;
    const std::vector<FirmwareFile> files = firmware_files(why);
    EXPECT_TRUE(why.empty()) << why;
    int32_t vga = 0, bochs = 0, memtest = 0;
    for (const FirmwareFile& f : files) {
        SCOPED_TRACE(f.path);
        EXPECT_EQ(f.half, corpus_half(f.bytes));
        const std::vector<FontTable> runs = merged_font_runs(f.fonts);
        ASSERT_EQ(runs.size(), 1u);
        if (f.path.find("vgabios") != std::string::npos) {
            ++vga;
            ASSERT_EQ(f.fonts.size(), 3u);
            for (const FontTable& font : f.fonts) EXPECT_EQ(font.glyphs, 256);
            EXPECT_EQ(runs[0].end - runs[0].start, 256 * (8 + 14 + 16));
        } else {
            const bool bios = f.path.find("BIOS-") != std::string::npos;
            bochs += bios;
            memtest += f.path.find("memtest86+") != std::string::npos;
            ASSERT_EQ(f.fonts.size(), 1u);
            EXPECT_EQ(f.fonts[0].height, bios ? 8 : 16);
            EXPECT_EQ(f.fonts[0].end - f.fonts[0].start, bios ? 128 * 8 : 256 * 16);
        }
    }
    EXPECT_TRUE(vga > 0 && bochs > 0 && memtest > 0) << vga << " " << bochs << " " << memtest;

    // A font whose second half is overwritten holds 128 glyphs; one whose
    // blank glyphs are drawn on is no font.
    ASSERT_FALSE(files.empty());
    std::vector<uint8_t> bytes = files.back().bytes;
    const FontTable font = files.back().fonts.back();
    std::fill(bytes.begin() + font.start + 219 * font.height, bytes.begin() + font.end, 0x5A);
    ASSERT_EQ(vga_fonts(bytes).size(), files.back().fonts.size());
    EXPECT_EQ(vga_fonts(bytes).back().glyphs, 128);
    bytes[static_cast<size_t>(font.start + 32 * font.height + 3)] = 0x18;
    EXPECT_EQ(vga_fonts(bytes).size(), files.back().fonts.size() - 1);
}

// The scan lists the VGA fonts of the BIOS images and of memtest86+ whole
// at width 8, their edges within 64 bytes (zeros, palettes, code and
// strings lie around them; memtest86+'s font is followed by keyboard
// tables, strings ended by NULs).
TEST(FirmwareFiles, TheScanListsTheFonts)
{
    std::string why;
    for (const FirmwareFile& f : firmware_files(why)) {
        SCOPED_TRACE(f.path);
        std::vector<FoundRegion> listed = scan_bytes(f.bytes.data(), static_cast<int64_t>(f.bytes.size()), 0, SCAN_MIN_BYTES);
        std::erase_if(listed, [](const FoundRegion& r) { return r.score < SCAN_DEFAULT_MIN_SCORE; });
        const FirmwareResult r = measure_firmware(f, listed);
        EXPECT_EQ(r.runs_found_at_8, r.runs);
        EXPECT_EQ(r.runs_found_whole, r.runs) << r.worst_edge;
    }
}

TEST(RealFilesMeasures, FontRunsAndPictureFreeParts)
{
    const FirmwareFile file{
        "made", {}, {{1000, 3048, 8, 256}, {3048, 6632, 14, 256}, {9000, 10024, 8, 128}, {12000, 13024, 8, 128}}, 0};
    const FirmwareResult r = measure_firmware(file, {{940, 6690, 8, 0.9, {}},
                                                     {8800, 10024, 8, 0.9, {}},  // starts 200 bytes early
                                                     {12000, 12500, 8, 0.9, {}},
                                                     {12500, 13024, 16, 0.9, {}},  // 500 of 1024 bytes at width 8
                                                     {20000, 21000, 8, 0.5, {}}});
    EXPECT_EQ(r.runs, 3);
    EXPECT_EQ(r.runs_found_whole, 1);
    EXPECT_EQ(r.runs_found_at_8, 2);
    EXPECT_EQ(r.worst_edge, 524);
    EXPECT_EQ(r.other_regions, 1);

    const std::vector<uint8_t> elf = read_bytes(ELF_PROGRAM);
    const std::vector<FileSection> parts = file_sections(elf);
    const FileSection *text = find_part(parts, ".text"), *rodata = find_part(parts, ".rodata");
    ASSERT_TRUE(text && rodata);
    const ProgramResult p = measure_program(
        elf, {{text->start + 4096, text->start + 8192, 8, 0.5, {}}, {rodata->start, rodata->start + 4096, 8, 0.5, {}}});
    EXPECT_EQ(p.regions, 2);
    EXPECT_EQ(p.false_regions, 1);  // the one in .text
    EXPECT_GT(p.picture_free_bytes, text->end - text->start);
    EXPECT_LT(p.picture_free_bytes, p.bytes);
}

}  // namespace
