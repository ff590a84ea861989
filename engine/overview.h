// overview.h: one picture of a whole file, a pixel per block, coloured by
// what the block holds.
#pragma once

#include <cstdint>

// What a block holds, as the overview tells it. The graphics class is not
// read from the block alone: it comes from a scan of the file (see
// mark_graphics).
enum class BlockClass : uint8_t {
    uniform,   // every byte the same value (zeros, 0xFF, any filler)
    text,      // printable ASCII with line breaks and tabs
    dense,     // high entropy: compressed, encrypted or random bytes
    graphics,  // inside a region a scan found
    other,     // anything else: code, tables, mixed data
    none,      // past the end of the file (the picture's last row)
};

constexpr int32_t OVERVIEW_COLUMNS = 256;   // pixels a row of the picture
constexpr int32_t OVERVIEW_MAX_ROWS = 1024;
constexpr int64_t OVERVIEW_MIN_BLOCK = 64;   // fewer bytes tell too little

// The block size for a file: the smallest power of two, at least
// OVERVIEW_MIN_BLOCK, whose blocks fit OVERVIEW_COLUMNS x OVERVIEW_MAX_ROWS.
int64_t overview_block_size(int64_t file_size);

// The class of one block (`length` bytes, at least 1) read by itself.
BlockClass classify_block(const uint8_t* bytes, int64_t length);

// The colour of a class in the picture, as 0xRRGGBB.
uint32_t class_colour(BlockClass block_class);

// The one-letter name of a class in the JSON output ("u", "t", "d", "g", "o").
char class_letter(BlockClass block_class);
// Its name in words ("uniform", "text", ...).
const char* class_name(BlockClass block_class);
