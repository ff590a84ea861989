// memory.h: memory blocks, plain zero-filled byte ranges on a heap of their own.
// The application holds the bytes of the file it shows in one such block.
#pragma once

#include <cstdint>

void init_memory_blocks();
// Zero-filled block of `size` bytes; null when size <= 0 or the heap cannot supply it.
void* allocate_memory(int64_t size);
void free_memory(void* address);  // null is ignored
int32_t peek_byte(const void* address);  // the byte, sign-extended
void end_memory_blocks();  // does nothing: blocks live until the process ends
