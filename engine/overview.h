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

// Every class a block of the file can have, in the order they are listed.
inline constexpr BlockClass BLOCK_CLASSES[] = {BlockClass::uniform, BlockClass::text, BlockClass::dense,
                                               BlockClass::graphics, BlockClass::other};

constexpr int32_t OVERVIEW_COLUMNS = 256;   // pixels a row of the picture
constexpr int32_t OVERVIEW_MAX_ROWS = 1024;
constexpr int64_t OVERVIEW_MIN_BLOCK = 64;   // fewer bytes tell too little

// The block size for a file: the smallest power of two, at least
// OVERVIEW_MIN_BLOCK, whose blocks fit OVERVIEW_COLUMNS x OVERVIEW_MAX_ROWS.
int64_t overview_block_size(int64_t file_size);

// The class of one block (`length` bytes, at least 1) read by itself.
BlockClass classify_block(const uint8_t* bytes, int64_t length);

// The same class for a block given in pieces, in any order, each piece by
// its place in the block: for blocks too large to be held at once.
class BlockTally {
public:
    explicit BlockTally(int64_t length);
    // The block's bytes offset .. offset + count - 1.
    void add(int64_t offset, const uint8_t* bytes, int64_t count);
    // What another tally of the same block has added (other bytes of it).
    void merge(const BlockTally& other);
    // Whether every byte of the block has been added.
    bool complete() const { return added_ == length_; }
    // The class classify_block gives the whole block (once complete).
    BlockClass result() const;

private:
    int64_t length_, step_, added_ = 0, samples_ = 0, printable_ = 0;
    int64_t counts_[256] = {};  // of the bytes at the sampled places
    bool one_value_ = true;     // every byte added so far is `value_`
    bool valued_ = false;
    uint8_t value_ = 0;
};

// The colour of a class in the picture, as 0xRRGGBB.
uint32_t class_colour(BlockClass block_class);

// The one-letter name of a class in the JSON output ("u", "t", "d", "g", "o").
char class_letter(BlockClass block_class);
// Its name in words ("uniform", "text", ...).
const char* class_name(BlockClass block_class);
