// strings.cpp: the string stack, string variables, string operations and the
// conversions between numbers and text.
//
// Every block here lives on the string heap and is obtained through heap_alloc
// and heap_realloc, so tests can make any of them fail. A failure never stops
// the program: the operation concerned produces the empty text (or keeps what
// it had already written) and everything else carries on.
#include "strings.h"

#include <cstring>

#include "heap.h"

StringManager g_string_manager;

namespace {

// Bytes kept beyond the usable capacity so that a reservation always leaves a
// few spare bytes for the zero byte and short appends.
constexpr int32_t kSpareBytes = 5;
// How far beyond the requested end the stack grows at once.
constexpr int32_t kGrowthStep = 16384;
constexpr int32_t kInitialCapacity = 16;

// Used only when the heap cannot supply even the first stack buffer: every
// operation then still finds a place for its zero byte, and the first growth
// moves the stack onto the heap.
char g_fallback_stack[kInitialCapacity + kSpareBytes];

StringManager& manager()
{
    return g_string_manager;
}

// Offset + 1 of `pointer` when it lies anywhere inside the stack buffer, else 0.
// The operations use this wider test (rather than string_stack_offset, which
// stops at the position) so that a source left above the position is also
// found again after the buffer moves.
int32_t buffer_offset(const char* pointer)
{
    const StringManager& m = manager();
    if (!pointer || !m.stack) return 0;
    auto address = reinterpret_cast<uintptr_t>(pointer);
    auto start = reinterpret_cast<uintptr_t>(m.stack);
    auto end = start + static_cast<uintptr_t>(m.capacity) + kSpareBytes;
    if (address < start || address >= end) return 0;
    return static_cast<int32_t>(address - start) + 1;
}

// Length of a text, capped so that it always fits the 32-bit offsets.
int32_t text_length(const char* text)
{
    if (!text) return 0;
    size_t length = std::strlen(text);
    return length > INT32_MAX ? INT32_MAX : static_cast<int32_t>(length);
}

// Ends an operation whose result is `length` bytes already written at
// `position`: the position moves to the end and a zero byte goes there.
void finish_result(int32_t position, int32_t length)
{
    set_string_position(position + length);
}

// Resizes (or allocates) a variable's storage to hold `length` bytes and the
// spare room. On failure the old storage is released and the variable is
// empty, so a variable never keeps a stale value after a failed assignment.
char* resize_storage(StringVar* variable, int32_t length)
{
    size_t size = static_cast<size_t>(length) + kSpareBytes;
    char* resized = static_cast<char*>(heap_realloc(manager().heap, *variable, size));
    if (!resized) {
        heap_free(manager().heap, *variable);
        *variable = nullptr;
        return nullptr;
    }
    *variable = resized;
    return resized;
}

// Writes the decimal digits of `magnitude` at `out` and returns their count.
int32_t write_digits(uint64_t magnitude, char* out)
{
    char reversed[20];
    int32_t count = 0;
    do {
        reversed[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    for (int32_t i = 0; i < count; ++i) out[i] = reversed[count - 1 - i];
    return count;
}

// Writes an optional minus sign and the digits of `magnitude` into a
// reservation of `reserved` bytes at `position`, then gives back the rest.
void write_number(bool negative, uint64_t magnitude, int32_t reserved, int32_t position)
{
    char* out = reserve_string_space(reserved, position);
    if (!out) {
        finish_result(position, 0);
        return;
    }
    int32_t length = 0;
    if (negative) out[length++] = '-';
    length += write_digits(magnitude, out + length);
    finish_result(position, length);
}

// Value of `c` as a digit of `base`, or -1.
int digit_value(char c, int base)
{
    int value = -1;
    if (c >= '0' && c <= '9') value = c - '0';
    else if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
    return value < base ? value : -1;
}

// Copies `length` bytes from `source` to `position` as an operation's result.
// When the source lies on the stack it is found again after the reservation,
// which may move the buffer; it may also overlap the destination.
void copy_result(const char* source, int32_t length, int32_t position)
{
    int32_t source_offset = buffer_offset(source);
    char* out = reserve_string_space(length, position);
    if (!out) {
        finish_result(position, 0);
        return;
    }
    if (source_offset) source = string_at(source_offset - 1);
    if (length > 0) std::memmove(out, source, static_cast<size_t>(length));
    finish_result(position, length);
}

}  // namespace

// --- String stack -----------------------------------------------------------

void init_string_manager()
{
    StringManager& m = manager();
    // A second call keeps the running stack and its variables.
    if (m.heap) return;
    m.heap = sys_heap_create(4096);
    m.stack = static_cast<char*>(heap_alloc(m.heap, kInitialCapacity + kSpareBytes, false));
    if (!m.stack) m.stack = g_fallback_stack;
    m.capacity = kInitialCapacity;
    m.position = 0;
    m.stack[0] = '\0';
}

char* reserve_string_space(int32_t count, int32_t position)
{
    StringManager& m = manager();
    if (count < 0 || position < 0) return nullptr;
    int64_t end = static_cast<int64_t>(position) + count;
    if (end >= static_cast<int64_t>(m.capacity) - 4) {
        // The block holds capacity + spare bytes, and both must stay in int32.
        if (end > INT32_MAX - kGrowthStep - kSpareBytes) return nullptr;
        int32_t capacity = static_cast<int32_t>(end) + kGrowthStep;
        size_t size = static_cast<size_t>(capacity) + kSpareBytes;
        char* grown;
        if (m.stack == g_fallback_stack) {
            grown = static_cast<char*>(heap_alloc(m.heap, size, false));
            if (grown) std::memcpy(grown, g_fallback_stack, sizeof g_fallback_stack);
        } else {
            grown = static_cast<char*>(heap_realloc(m.heap, m.stack, size));
        }
        if (!grown) return nullptr;
        m.stack = grown;
        m.capacity = capacity;
    }
    m.position = static_cast<int32_t>(end);
    return m.stack + position;
}

void release_string_space(int32_t count)
{
    StringManager& m = manager();
    int64_t position = static_cast<int64_t>(m.position) - count;
    // A wrong count must not move the position outside the buffer.
    if (position < 0) position = 0;
    if (position > m.capacity) position = m.capacity;
    m.position = static_cast<int32_t>(position);
}

void append_string(const char* text)
{
    int32_t position = manager().position;
    if (!text) {
        set_string_position(position);
        return;
    }
    copy_result(text, text_length(text), position);
}

void store_string(StringVar* variable, int32_t start)
{
    StringManager& m = manager();
    if (start < 0 || start > m.position) {
        // Not an expression on this stack: the variable becomes empty.
        free_string(*variable);
        *variable = nullptr;
        return;
    }
    int32_t length = m.position - start;
    char* storage = resize_storage(variable, length);
    if (storage) {
        std::memcpy(storage, m.stack + start, static_cast<size_t>(length));
        storage[length] = '\0';
    }
    m.position = start;
}

void set_string_position(int32_t offset)
{
    StringManager& m = manager();
    // Offsets outside the buffer are ignored rather than written to.
    if (!m.stack || offset < 0 || offset > m.capacity) return;
    m.position = offset;
    m.stack[offset] = '\0';
}

int32_t string_stack_offset(const char* pointer)
{
    const StringManager& m = manager();
    if (!pointer || !m.stack) return 0;
    auto address = reinterpret_cast<uintptr_t>(pointer);
    auto start = reinterpret_cast<uintptr_t>(m.stack);
    if (address < start || address > start + static_cast<uintptr_t>(m.position)) return 0;
    return static_cast<int32_t>(address - start) + 1;
}

// --- String variables -------------------------------------------------------

int32_t assign_string(StringVar* variable, const char* text)
{
    if (!text) {
        free_string(*variable);
        *variable = nullptr;
        return 1;
    }
    int32_t length = text_length(text);
    bool own_text = false;
    if (*variable) {
        // Assigning a variable (or a tail of it) to itself: move the text to
        // the front first, because resizing keeps only the front of the block.
        auto address = reinterpret_cast<uintptr_t>(text);
        auto start = reinterpret_cast<uintptr_t>(*variable);
        auto end = start + std::strlen(*variable);
        if (address >= start && address <= end) {
            std::memmove(*variable, text, static_cast<size_t>(length) + 1);
            own_text = true;
        }
    }
    char* storage = resize_storage(variable, length);
    if (!storage) return 1;
    if (!own_text) std::memcpy(storage, text, static_cast<size_t>(length));
    storage[length] = '\0';
    return length + 1;
}

void init_string(StringVar* variable, const char* text)
{
    if (!text) return;
    int32_t length = text_length(text);
    auto* storage = static_cast<char*>(
        heap_alloc(manager().heap, static_cast<size_t>(length) + kSpareBytes, false));
    if (storage) {
        std::memcpy(storage, text, static_cast<size_t>(length));
        storage[length] = '\0';
    }
    *variable = storage;
}

void free_string(StringVar storage)
{
    heap_free(manager().heap, storage);
}

// --- String operations ------------------------------------------------------

void long_to_text(int32_t value, int32_t position)
{
    // The magnitude is taken in 64 bits so that INT32_MIN needs no special case.
    int64_t wide = value;
    write_number(wide < 0, static_cast<uint64_t>(wide < 0 ? -wide : wide), 32, position);
}

void quad_to_text(int64_t value, int32_t position)
{
    if (value >= INT32_MIN && value <= INT32_MAX) {
        long_to_text(static_cast<int32_t>(value), position);
        return;
    }
    // Negating in unsigned arithmetic gives the right magnitude for INT64_MIN too.
    uint64_t magnitude = static_cast<uint64_t>(value);
    if (value < 0) magnitude = ~magnitude + 1;
    write_number(value < 0, magnitude, 64, position);
}

void substring(const char* text, int32_t start, int32_t length, int32_t position)
{
    if (length < 0) length = 0;
    if (!text) {
        set_string_position(position);
        return;
    }
    // Skip start - 1 characters, stopping at the end of the text.
    const char* from = text;
    for (int64_t skip = static_cast<int64_t>(start) - 1; skip > 0 && *from; --skip) ++from;
    // Only the characters actually available are reserved, so a huge length
    // costs no more than the text itself.
    int32_t available = 0;
    while (available < length && from[available]) ++available;
    copy_result(from, available, position);
}

void string_field(const char* text, int32_t index, const char* separator, int32_t position)
{
    if (index < 1 || !text) {
        set_string_position(position);
        return;
    }
    // Only the first character separates; the zero byte never matches, so an
    // empty separator leaves the whole text as field 1.
    char mark = separator ? separator[0] : '\0';
    const char* field = text;
    int32_t count = 1;
    const char* scan = text;
    for (;; ++scan) {
        bool at_end = *scan == '\0';
        if (at_end || (mark != '\0' && *scan == mark)) {
            if (count == index) {
                copy_result(field, static_cast<int32_t>(scan - field), position);
                return;
            }
            if (at_end) break;
            ++count;
            field = scan + 1;
        }
    }
    set_string_position(position);
}

int32_t string_length(const char* text)
{
    return text_length(text);
}

int32_t strings_equal(const char* a, const char* b)
{
    return std::strcmp(a ? a : "", b ? b : "") == 0 ? 1 : 0;
}

int64_t text_to_number(const char* text)
{
    if (!text) return 0;
    while (*text == ' ' || *text == '\t') ++text;
    bool negative = false;
    if (*text == '-') {
        negative = true;
        ++text;
    } else if (*text == '+') {
        ++text;
    }
    int base = 10;
    if (*text == '$') {
        base = 16;
        ++text;
    } else if (*text == '%') {
        base = 2;
        ++text;
    }
    // Unsigned arithmetic: an overlong number wraps around instead of being
    // undefined, and the result is the low 64 bits of the full value.
    uint64_t value = 0;
    for (int digit; (digit = digit_value(*text, base)) >= 0; ++text)
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    if (negative) value = ~value + 1;
    return static_cast<int64_t>(value);
}

int32_t double_to_long(double value)
{
    // Truncates toward zero. Every value whose truncation does not fit in 32
    // bits gives 0: NaN, both infinities and finite values beyond the range.
    // Other parts of the program rely on +infinity giving 0, and the same
    // answer for the rest keeps the rule simple. NaN fails both comparisons.
    if (value > -2147483649.0 && value < 2147483648.0) return static_cast<int32_t>(value);
    return 0;
}
