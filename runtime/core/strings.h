// strings.h: the string stack, string variables, string operations and the
// conversions between numbers and text.
//
// Expressions are built on one shared scratch area, the string stack, and a
// finished value is copied into a string variable when it is assigned. Places
// on the stack are offsets, never pointers, because the buffer moves when it
// grows. Text is single-byte ANSI ending in a zero byte; a null pointer is the
// empty text everywhere.
#pragma once

#include <cstdint>

#include "platform.h"

// The string manager's state. `position` is shared with the application: it
// reads it before an expression, passes it to every operation that writes a
// result and sets it back when a temporary result is no longer needed.
struct StringManager {
    SysHeap heap;      // private heap of the stack buffer and every string variable
    char* stack;       // start of the string stack; moves when the stack grows
    int32_t capacity;  // usable bytes of the stack buffer (the block has 5 more)
    int32_t position;  // offset of the first free byte
};

extern StringManager g_string_manager;

inline int32_t string_position() { return g_string_manager.position; }
inline char* string_at(int32_t offset) { return g_string_manager.stack + offset; }

// A string variable: null, or storage on the string heap that it owns.
using StringVar = char*;

// --- String stack -----------------------------------------------------------
void init_string_manager();
// Reserves bytes at the position and moves the position past them. Returns the
// reserved bytes, or null (position unchanged) when the stack cannot grow.
char* reserve_string_space(int32_t count, int32_t position);
void release_string_space(int32_t count);
void append_string(const char* text);
void store_string(StringVar* variable, int32_t start);
void set_string_position(int32_t offset);
int32_t string_stack_offset(const char* pointer);

// Marks the stack's position and sets it back at the end of the scope, which
// drops every temporary result built on the stack since. A scope's first
// result goes at position().
class StringMark {
public:
    StringMark() : position_(string_position()) {}
    ~StringMark() { set_string_position(position_); }
    StringMark(const StringMark&) = delete;
    StringMark& operator=(const StringMark&) = delete;
    int32_t position() const { return position_; }

private:
    int32_t position_;
};

// --- String variables -------------------------------------------------------
int32_t assign_string(StringVar* variable, const char* text);
void init_string(StringVar* variable, const char* text);
void free_string(StringVar storage);

// --- String operations (each writes its result at `position`) ---------------
void quad_to_text(int64_t value, int32_t position);
void long_to_text(int32_t value, int32_t position);
void substring(const char* text, int32_t start, int32_t length, int32_t position);
void string_field(const char* text, int32_t index, const char* separator, int32_t position);
int32_t string_length(const char* text);
int32_t strings_equal(const char* a, const char* b);
int64_t text_to_number(const char* text);
int32_t double_to_long(double value);
