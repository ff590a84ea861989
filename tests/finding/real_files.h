// real_files.h: real files in which it is known where pictures are:
// firmware holding the standard VGA fonts (found by their letter A). Every
// file falls in one of two fixed halves, one for tuning and one held out, by
// a hash of its bytes.
// The measures of a scan on these files are defined here, so that every
// caller counts alike. Nothing here throws.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "finding.h"

enum : int32_t { TUNING_HALF = 0, HELD_OUT_HALF = 1 };

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

struct FirmwareResult {
    std::string path;
    int32_t half;
    int64_t runs;
    // Runs found whole: one region of width_bits 8 overlaps the run and
    // covers all of it, its start at most 64 bytes before the run's first
    // byte and its end at most 64 bytes past the run's end.
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
