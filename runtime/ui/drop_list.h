// drop_list.h: the file list of a dropped file block, read without the system.
//
// A dropped file list is a 20-byte little-endian header followed by the names:
//
//   offset 0   uint32  list offset (from the start of the block)
//   offset 4   int32   drop point x
//   offset 8   int32   drop point y
//   offset 12  int32   non-client flag
//   offset 16  int32   wide flag: 0 for byte names, else UTF-16LE names
//
// At the list offset the names follow one another, each ending in a zero
// character; an empty name ends the list. The block comes from another
// program, so nothing in it is trusted: reading never goes past its size, and
// the block reads as if zero bytes followed it, which ends an unterminated
// last name and the list at the block's end. Wide names may start at any
// byte offset. Nothing here includes <windows.h>, so the host checks build it.
#pragma once

#include <cstdint>

constexpr int64_t DROP_HEADER_SIZE = 20;

// Most bytes one character may become in a narrow code page (a surrogate pair
// in UTF-8 takes 4); the conversion's output buffer holds this many.
constexpr int32_t DROP_CHARACTER_BYTES = 8;

// Converts one character of a wide name to narrow text: `count` is 1, or 2 for
// a surrogate pair. Writes at most DROP_CHARACTER_BYTES bytes at `out` and
// returns how many it wrote; anything outside 0..DROP_CHARACTER_BYTES counts
// as nothing written.
using WideToNarrow = int32_t (*)(const char16_t* units, int32_t count, char* out);

// The names of the list at `block` (`size` bytes) in order, separated by line
// feeds, without a zero byte. Returns the length of that whole text and
// writes its first min(length, room) bytes at `out` (which may be null when
// room is 0). The text is empty for a block shorter than the header, a list
// offset beyond the block, or a list whose first name is empty.
int64_t read_drop_list(const void* block, int64_t size, WideToNarrow convert, char* out, int64_t room);
