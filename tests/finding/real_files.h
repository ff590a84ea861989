// real_files.h: real files in which it is known where pictures are and where
// none can be: firmware holding the standard VGA fonts (found by their
// letter A), and the sections of installed programs (ELF and PE) that hold
// code, tables, strings or debug information. Every file falls in one of two
// fixed halves, one for tuning and one held out, by a hash of its bytes.
// The measures of a scan on these files are defined here, so that every
// caller counts alike. Nothing here throws.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "corpus.h"
#include "finding.h"

// The half of a file by its bytes, or of anything else by a key: the highest
// bit of the 64-bit FNV-1a hash (offset basis 0xcbf29ce484222325, prime
// 0x100000001b3) of the bytes. The highest bit, as the lowest bit of FNV-1a is
// only the parity of the lowest bits of the bytes. Identical files always
// fall in the same half.
int32_t corpus_half(const std::vector<uint8_t>& bytes);
int32_t corpus_half(const std::string& key);

// A font table of glyphs 8 pixels wide, one byte a row: bytes
// start .. end - 1 of its file, end = start + height x glyphs.
struct FontTable {
    int64_t start, end;
    int32_t height;
    int32_t glyphs;
};

struct FirmwareFile {
    std::string path;
    std::vector<uint8_t> bytes;
    std::vector<FontTable> fonts;  // in file order
    int32_t half;
};

// The standard VGA fonts (8x8, 8x14 and 8x16, code page 437 order) in
// `bytes`, in file order; the glyph count of each (128 or 256) is read off
// the bytes, so that no table is claimed past where it ends.
std::vector<FontTable> vga_fonts(const std::vector<uint8_t>& bytes);

// The VGA BIOS images (/usr/share/vgabios/*.bin), the bochs BIOS images
// (/usr/share/bochs/BIOS-*) and memtest86+ (/boot/memtest86+*.bin, *.efi)
// that hold a font, by path, one of each set of identical files (the
// first by path). `why` names what could not be read and the files with no
// font.
std::vector<FirmwareFile> firmware_files(std::string& why);

// The runs of fonts that lie end to end, each as one table (height and
// glyphs those of its first font), in file order. A scan is expected to
// find each run as one region.
std::vector<FontTable> merged_font_runs(const std::vector<FontTable>& fonts);

// A part of a program file: file positions, end exclusive, inside the file.
// picture_free: the bytes are code, relocations, symbols, strings, unwind
// tables, pointer tables, hashes, version needs, notes, debug information
// or file headers, none of which can hold a picture.
struct FileSection {
    std::string name;
    int64_t start, end;
    bool picture_free;
};

// The sections of an ELF (32 or 64-bit, little-endian) or PE (PE32, PE32+)
// file with bytes in the file, in order of their start; empty for other
// files. Besides the sections themselves: the headers, and for PE the
// tables found through the data directories (imports, exports, exception
// table, base relocations, debug directory and the debug data it names) and
// the COFF symbol and string tables. Parts may overlap (a table inside its
// section). A damaged or cut file gives the parts that can be read; nothing
// outside `bytes` is read.
std::vector<FileSection> file_sections(const std::vector<uint8_t>& bytes);

struct RealProgram {
    std::string path;
    int32_t half;
    int64_t size;
};

// Installed programs to scan, sorted by path, one of each set of identical
// files (the first by path):
// - the ELF files (programs, shared libraries) installed by the packages
//   clang-14, llvm-14, libllvm14, libclang-cpp14, gcc-12, cpp-12, g++-12 and
//   firefox-esr (as dpkg lists them);
// - the PE files: this project's own Windows programs (*.exe under the
//   folder BITLOUPE_WIN_BUILD, by default build/win of the source tree,
//   leaving out the test programs under tests/ and googletest/) and the DLLs
//   of the mingw-w64 toolchain (under /usr/lib/gcc/x86_64-w64-mingw32 and
//   /usr/x86_64-w64-mingw32/lib).
// At most REAL_PROGRAMS_MAX_BYTES in all: files are taken in the order of
// their content hash, a fixed order that favours no package and no size,
// and a file that would go over the total is left out. `why` names the
// packages and folders that gave nothing.
constexpr int64_t REAL_PROGRAMS_MAX_BYTES = int64_t{400} << 20;
std::vector<RealProgram> real_programs(std::string& why);

struct FirmwareResult {
    std::string path;
    int32_t half;
    int64_t runs;
    // Runs found whole: one region of width_bits 8 whose start is within
    // 64 bytes of the run's first byte and whose end is within 64 bytes of
    // the run's end (a blank first or last glyph may be left out).
    int64_t runs_found_whole;
    // Runs of which regions of width_bits 8 together cover at least half.
    int64_t runs_found_at_8;
    // Over all runs, the largest distance in bytes between an edge of the run
    // and the same edge of the width-8 region that overlaps it most (the
    // run's length when no width-8 region overlaps it).
    int64_t worst_edge;
    int64_t other_regions;  // regions that overlap no font
};
FirmwareResult measure_firmware(const FirmwareFile& file, const std::vector<FoundRegion>& regions);

struct ProgramResult {
    int64_t bytes;
    int64_t picture_free_bytes;  // bytes in at least one picture-free part
    int64_t regions;
    int64_t false_regions;  // regions with more than half their bytes picture-free
};
ProgramResult measure_program(const std::vector<uint8_t>& bytes, const std::vector<FoundRegion>& regions);
