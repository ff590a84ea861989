// files.cpp: numbered files on the Win32 file services, each with a buffer
// that serves either reading ahead or collecting writes, never both at once.
#include "files.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "faults.h"
#include "heap.h"
#include "registry.h"
#include "strings.h"

namespace {

ObjectTable* g_files = nullptr;
int32_t g_buffer_size = FILE_BUFFER_SIZE;  // library setting, copied into each file at open time

// The file reached last. Byte-at-a-time callers reach the same file again and
// again; close_file forgets it before its record goes.
int32_t g_last_number = ANY_NUMBER;
FileRecord* g_last_file = nullptr;

void free_file(int32_t number)
{
    close_file(number);
}

// Pieces of 1, 2 and 4 bytes move as one unit: a memcpy of fixed size is a
// single load and store.
void copy_piece(uint8_t* to, const void* from, int32_t n)
{
    switch (n) {
    case 1: std::memcpy(to, from, 1); break;
    case 2: std::memcpy(to, from, 2); break;
    case 4: std::memcpy(to, from, 4); break;
    default: std::memcpy(to, from, static_cast<size_t>(n)); break;
    }
}

// Native write that keeps the failure on the record; a short write counts as one.
DWORD write_native(FileRecord* file, const void* data, DWORD count)
{
    DWORD written = 0;
    if (fault_injected(Fault::write_file) || !WriteFile(file->handle, data, count, &written, nullptr) ||
        written != count)
        file->write_failed = 1;
    return written;
}

DWORD read_native(FileRecord* file, void* destination, DWORD count)
{
    DWORD got = 0;
    if (fault_injected(Fault::read_file) || !ReadFile(file->handle, destination, count, &got, nullptr)) return 0;
    return got;
}

// Makes the pages of `count` bytes at `start` present and writable without
// changing a byte: a locked OR of zero is one write access, so a page never
// used before costs one page fault. Wine checks a read's destination page by
// page with a read followed by a write, which on such a page costs two (the
// read maps the shared zero page, the write then replaces it).
void make_resident(uint8_t* start, DWORD count)
{
    const uintptr_t end = reinterpret_cast<uintptr_t>(start) + count;
    for (uintptr_t at = reinterpret_cast<uintptr_t>(start); at < end; at = (at | 4095) + 1)
        __atomic_fetch_or(reinterpret_cast<uint8_t*>(at), uint8_t{0}, __ATOMIC_RELAXED);
}

// Whether all `count` bytes at `start` are committed memory that may be
// written without a fault the system does not resolve itself.
bool writable_memory(const uint8_t* start, DWORD count)
{
    constexpr DWORD WRITABLE = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    const uintptr_t end = reinterpret_cast<uintptr_t>(start) + count;
    for (uintptr_t at = reinterpret_cast<uintptr_t>(start); at < end;) {
        MEMORY_BASIC_INFORMATION region;
        if (!VirtualQuery(reinterpret_cast<const void*>(at), &region, sizeof(region)) || region.State != MEM_COMMIT ||
            !(region.Protect & WRITABLE) || (region.Protect & PAGE_GUARD))
            return false;
        at = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
    }
    return true;
}

// A read straight into the caller's memory, in pieces of FILE_READ_PIECE
// bytes, each made resident just before its native read: the pages are then
// still in the processor's caches when the bytes are copied into them.
// Memory that cannot be written is left to the native read, which fails on it.
// Returns what one native read of `count` bytes would: the bytes up to the
// first short piece (the end of the file), or 0 when a native read failed.
DWORD read_straight(FileRecord* file, uint8_t* destination, DWORD count)
{
    const bool touch = writable_memory(destination, count);
    DWORD total = 0;
    while (total < count) {
        const DWORD piece = std::min<DWORD>(count - total, FILE_READ_PIECE);
        if (touch) make_resident(destination + total, piece);
        DWORD got = 0;
        if (fault_injected(Fault::read_file) || !ReadFile(file->handle, destination + total, piece, &got, nullptr))
            return 0;
        total += got;
        if (got < piece) break;
    }
    return total;
}

// Writes the collected bytes. Returns false when that native write failed.
bool flush(FileRecord* file)
{
    if (file->read_state) return true;
    bool ok = true;
    int32_t pending = file->buffer_size - file->available;
    if (pending > 0) {
        DWORD count = static_cast<DWORD>(pending);
        ok = write_native(file, file->buffer, count) == count;
    }
    file->available = file->buffer_size;
    return ok;
}

// Returns the bytes taken (buffered or written), or 0 when a flush this piece
// caused failed: the caller learns of the lost data at once.
int32_t write_piece(FileRecord* file, const void* piece, int32_t n)
{
    if (file->read_state) {
        // Bytes read ahead were never delivered: writing continues where the
        // application stands, not where the read-ahead left the native position.
        if (file->available > 0) {
            LARGE_INTEGER back;
            back.QuadPart = -static_cast<LONGLONG>(file->available);
            SetFilePointerEx(file->handle, back, nullptr, FILE_CURRENT);
        }
        file->read_state = 0;
        file->available = file->buffer_size;
    }
    if (n < file->available) {
        copy_piece(file->buffer + (file->buffer_size - file->available), piece, n);
        file->available -= n;
        return n;
    }
    bool flushed = flush(file);
    int32_t result = n;
    if (n >= file->buffer_size) {
        result = static_cast<int32_t>(write_native(file, piece, static_cast<DWORD>(n)));
    } else {
        copy_piece(file->buffer, piece, n);
        file->available = file->buffer_size - n;
    }
    return flushed ? result : 0;
}

int32_t read_piece(FileRecord* file, uint8_t* destination, int32_t n)
{
    if (!file->read_state) {
        flush(file);
        file->read_state = 1;
        file->available = 0;
    }
    if (file->available >= n) {
        std::memcpy(destination, file->buffer + (file->fill - file->available), static_cast<size_t>(n));
        file->available -= n;
        return n;
    }
    int32_t k = file->available;
    if (k > 0) std::memcpy(destination, file->buffer + (file->fill - k), static_cast<size_t>(k));
    file->available = 0;
    int32_t m = n - k;
    if (m < file->buffer_size) {
        auto got = static_cast<int32_t>(read_native(file, file->buffer, static_cast<DWORD>(file->buffer_size)));
        file->fill = got;
        int32_t copied = m < got ? m : got;
        std::memcpy(destination + k, file->buffer, static_cast<size_t>(copied));
        file->available = got - copied;
        return k + copied;
    }
    return k + static_cast<int32_t>(read_straight(file, destination + k, static_cast<DWORD>(m)));
}

// Names tried for a temporary file before giving up.
constexpr int32_t REPLACEMENT_ATTEMPTS = 32;

// The file services a replacement uses, for narrow (ANSI) and for wide paths.
// Both kinds follow one rule, written once below.
struct NarrowPaths {
    using Char = char;
    static constexpr size_t LIMIT = MAX_PATH;
    static size_t length(const char* path) { return std::strlen(path); }
    static DWORD attributes(const char* path) { return GetFileAttributesA(path); }
    static HANDLE open(const char* path, DWORD access, DWORD share, DWORD disposition)
    {
        return CreateFileA(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    static void set_attributes(const char* path, DWORD attributes) { SetFileAttributesA(path, attributes); }
    static BOOL replace(const char* target, const char* replacement)
    {
        return ReplaceFileA(target, replacement, nullptr, 0, nullptr, nullptr);
    }
    static BOOL move(const char* from, const char* to) { return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING); }
    static void remove(const char* path) { DeleteFileA(path); }
};

struct WidePaths {
    using Char = wchar_t;
    static constexpr size_t LIMIT = REPLACEMENT_WIDE_LIMIT;
    static size_t length(const wchar_t* path) { return std::wcslen(path); }
    static DWORD attributes(const wchar_t* path) { return GetFileAttributesW(path); }
    static HANDLE open(const wchar_t* path, DWORD access, DWORD share, DWORD disposition)
    {
        return CreateFileW(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    static void set_attributes(const wchar_t* path, DWORD attributes) { SetFileAttributesW(path, attributes); }
    static BOOL replace(const wchar_t* target, const wchar_t* replacement)
    {
        return ReplaceFileW(target, replacement, nullptr, 0, nullptr, nullptr);
    }
    static BOOL move(const wchar_t* from, const wchar_t* to)
    {
        return MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING);
    }
    static void remove(const wchar_t* path) { DeleteFileW(path); }
};

// Paths the fixed-size buffers would cut are refused: a cut path might name
// another file.
template <typename Paths>
bool usable(const typename Paths::Char* path)
{
    return path && path[0] && Paths::length(path) < Paths::LIMIT;
}

// The low `digits` hexadecimal digits of `value`, without a terminating zero.
template <typename Char>
void write_hex(Char* out, uint32_t value, int32_t digits)
{
    for (int32_t i = digits - 1; i >= 0; --i, value >>= 4) out[i] = static_cast<Char>("0123456789ABCDEF"[value & 15]);
}

// Gives the file at `path` the attributes a replaced file had (those a file
// can be given) and, when known, its creation time.
template <typename Paths>
void take_identity(const typename Paths::Char* path, DWORD attributes, const FILETIME* created)
{
    constexpr DWORD KEPT = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                           FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if (created) {
        HANDLE file = Paths::open(path, FILE_WRITE_ATTRIBUTES, 0, OPEN_EXISTING);
        if (file != INVALID_HANDLE_VALUE) {
            SetFileTime(file, created, nullptr, nullptr);
            CloseHandle(file);
        }
    }
    const DWORD kept = attributes & KEPT;
    Paths::set_attributes(path, kept ? kept : FILE_ATTRIBUTE_NORMAL);
}

bool usable_path(const char* path)
{
    return usable<NarrowPaths>(path);
}

// Whether a failed ReplaceFileA leaves the move to do the job. It does where
// the system or the file system has no ReplaceFileA (the three "not
// supported" answers); where the target vanished meanwhile; and where the
// target was already moved aside under another name (the temporary file
// still holds the new bytes and the target's name is free). Every other
// failure, such as a target in use, leaves the target as it was and is final.
bool move_after_replace_failure(DWORD error)
{
    switch (error) {
    case ERROR_CALL_NOT_IMPLEMENTED:
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_UNABLE_TO_MOVE_REPLACEMENT_2:
        return true;
    default:
        return false;
    }
}

template <typename Paths>
int32_t begin_replacement_of(const typename Paths::Char* path, typename Paths::Char* temporary)
{
    using Char = typename Paths::Char;
    if (!usable<Paths>(path) || !temporary) return 0;
    DWORD attributes = Paths::attributes(path);
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return 0;
    // The folder part, up to the last separator ("C:" too: "C:name" lives in
    // that drive's current folder, and so must its temporary file).
    size_t folder = Paths::length(path);
    while (folder > 0 && path[folder - 1] != '\\' && path[folder - 1] != '/' && path[folder - 1] != ':') --folder;
    // The longest name that keeps the temporary path within the limit.
    const size_t room = Paths::LIMIT - 1 - folder;
    if (room < 2) return 0;

    static uint32_t counter = 0;
    const uint32_t process = GetCurrentProcessId();
    for (int32_t attempt = 0; attempt < REPLACEMENT_ATTEMPTS; ++attempt) {
        const uint32_t serial = process * 0x9E3779B1u + ++counter;
        std::copy(path, path + folder, temporary);
        Char* name = temporary + folder;
        if (room >= 12) {
            // "~blpXXXX.tmp"
            const char* pattern = "~blp0000.tmp";
            std::copy(pattern, pattern + 13, name);
            write_hex(name + 4, serial, 4);
        } else {
            // A folder near the path limit: "~" and as many digits as fit.
            name[0] = '~';
            write_hex(name + 1, serial, static_cast<int32_t>(room - 1));
            name[room] = 0;
        }
        if (fault_injected(Fault::create_file)) break;
        HANDLE handle = Paths::open(temporary, GENERIC_WRITE, 0, CREATE_NEW);
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
            return 1;
        }
        // Only a name already taken is worth another try.
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    temporary[0] = 0;
    return 0;
}

template <typename Paths>
int32_t end_replacement_of(const typename Paths::Char* temporary, const typename Paths::Char* path, int32_t complete)
{
    if (!temporary || !temporary[0]) return 0;
    if (!complete || !usable<Paths>(path)) {
        Paths::remove(temporary);
        return 0;
    }
    const DWORD attributes = Paths::attributes(path);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        // A target that another program holds open cannot be moved aside:
        // that is a failure to report, found before the replacement starts
        // (Wine's ReplaceFileA would leave a file of its own behind).
        HANDLE target = Paths::open(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
        if (target == INVALID_HANDLE_VALUE) {
            Paths::remove(temporary);
            return 0;
        }
        FILETIME created{};
        const bool dated = GetFileTime(target, &created, nullptr, nullptr) != 0;
        CloseHandle(target);
        // The new file takes the target's attributes and creation time
        // itself, for the file systems where ReplaceFileA does not pass
        // them on and for the move below.
        take_identity<Paths>(temporary, attributes, dated ? &created : nullptr);
        // ReplaceFileA also keeps the target's security.
        DWORD error = ERROR_CALL_NOT_IMPLEMENTED;
        if (!fault_injected(Fault::replace_file)) {
            if (Paths::replace(path, temporary)) return 1;
            error = GetLastError();
        }
        if (!move_after_replace_failure(error)) {
            // The target is as it was (in use, or not ours to replace).
            Paths::remove(temporary);
            return 0;
        }
    }
    if (Paths::move(temporary, path)) return 1;
    Paths::remove(temporary);
    return 0;
}

intptr_t open_file(int32_t number, const char* path, DWORD access, DWORD disposition)
{
    int32_t dynamic_number = 0;
    // Obtaining the record closes a file already open under this number.
    auto* file = static_cast<FileRecord*>(obtain_object(g_files, number, &dynamic_number));
    if (!file) return 0;
    bool dynamic = number == ANY_NUMBER;
    if (dynamic) number = dynamic_number;

    HANDLE handle = INVALID_HANDLE_VALUE;
    if (usable_path(path) && !fault_injected(Fault::create_file)) {
        handle = CreateFileA(path, access, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
        // Replacing a hidden or system file with FILE_ATTRIBUTE_NORMAL is
        // refused; truncating it in place is not.
        if (handle == INVALID_HANDLE_VALUE && disposition == CREATE_ALWAYS)
            handle = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, TRUNCATE_EXISTING, 0, nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE) {
        release_object(g_files, number);
        return 0;
    }

    uint8_t* buffer = nullptr;
    int32_t buffer_size = g_buffer_size;
    if (buffer_size != 0) {
        buffer = static_cast<uint8_t*>(heap_alloc(main_heap(), static_cast<size_t>(buffer_size), false));
        if (!buffer) {
            CloseHandle(handle);
            release_object(g_files, number);
            return 0;
        }
    }
    file->handle = handle;
    file->buffer = buffer;
    file->buffer_size = buffer_size;
    file->available = 0;
    file->fill = 0;
    file->read_state = 1;
    file->write_failed = 0;
    return dynamic ? dynamic_number : reinterpret_cast<intptr_t>(handle);
}

FileRecord* find_file(int32_t number)
{
    if (number == g_last_number) return g_last_file;
    if (number == ANY_NUMBER) return nullptr;
    auto* file = static_cast<FileRecord*>(find_object(g_files, number));
    if (file) {
        g_last_number = number;
        g_last_file = file;
    }
    return file;
}

}  // namespace

void init_files()
{
    if (!g_files) g_files = create_object_table(sizeof(FileRecord), 16, free_file);
}

void end_files()
{
    release_all_objects(g_files);
}

void set_file_buffer_size(int32_t size)
{
    g_buffer_size = size < 0 ? 0 : size;
}

intptr_t open_file_for_reading(int32_t number, const char* path)
{
    return open_file(number, path, GENERIC_READ, OPEN_EXISTING);
}

intptr_t create_file(int32_t number, const char* path)
{
    return open_file(number, path, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
}

intptr_t open_file_for_update(int32_t number, const char* path)
{
    return open_file(number, path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
}

int32_t close_file(int32_t number)
{
    FileRecord* file = find_file(number);
    if (!file) return 0;
    g_last_number = ANY_NUMBER;
    g_last_file = nullptr;
    flush(file);
    main_free(file->buffer);
    CloseHandle(file->handle);
    int32_t result = file->write_failed ? 0 : 1;
    release_object(g_files, number);
    return result;
}

int32_t read_data(int32_t number, void* destination, int32_t length)
{
    FileRecord* file = find_file(number);
    if (!file || !destination || length <= 0) return 0;
    return read_piece(file, static_cast<uint8_t*>(destination), length);
}

int32_t write_byte(int32_t number, int32_t value)
{
    FileRecord* file = find_file(number);
    if (!file) return 0;
    uint8_t byte = static_cast<uint8_t>(value);
    return write_piece(file, &byte, 1);
}

int64_t file_size(const char* path)
{
    if (!usable_path(path)) return FILE_SIZE_MISSING;
    char local[MAX_PATH];
    size_t length = std::strlen(path);
    std::memcpy(local, path, length + 1);

    // "X:" and "X:\" name a drive; FindFirstFileA finds nothing for a root.
    if ((length == 2 || length == 3) && local[1] == ':') {
        if (length == 2) {
            local[2] = '\\';
            local[3] = 0;
        }
        return GetDriveTypeA(local) > DRIVE_NO_ROOT_DIR ? FILE_SIZE_DIRECTORY : FILE_SIZE_MISSING;
    }
    while (length > 1 && local[length - 1] == '\\') local[--length] = 0;

    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(local, &found);
    if (search == INVALID_HANDLE_VALUE) {
        // A share root (\\server\share) is a folder that FindFirstFileA never lists.
        if (local[0] == '\\' && local[1] == '\\') {
            DWORD attributes = GetFileAttributesA(local);
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
                return FILE_SIZE_DIRECTORY;
        }
        return FILE_SIZE_MISSING;
    }
    FindClose(search);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return FILE_SIZE_DIRECTORY;
    return static_cast<int64_t>((static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow);
}

void current_directory(int32_t position)
{
    // One byte more than MAX_PATH: a 259-character folder, its added
    // backslash and the terminating zero all fit in the reservation.
    constexpr int32_t reserved = MAX_PATH + 1;
    char* text = reserve_string_space(reserved, position);
    if (!text) {
        set_string_position(position);
        return;
    }
    DWORD length = GetCurrentDirectoryA(MAX_PATH, text);
    if (length >= MAX_PATH) length = 0;  // too long: the call wrote nothing usable
    if (length > 0 && text[length - 1] != '\\') text[length++] = '\\';
    text[length] = 0;
    release_string_space(reserved - static_cast<int32_t>(length));
}

int32_t begin_replacement(const char* path, char* temporary)
{
    return begin_replacement_of<NarrowPaths>(path, temporary);
}

int32_t end_replacement(const char* temporary, const char* path, int32_t complete)
{
    return end_replacement_of<NarrowPaths>(temporary, path, complete);
}

int32_t begin_replacement_wide(const wchar_t* path, wchar_t* temporary)
{
    return begin_replacement_of<WidePaths>(path, temporary);
}

int32_t end_replacement_wide(const wchar_t* temporary, const wchar_t* path, int32_t complete)
{
    return end_replacement_of<WidePaths>(temporary, path, complete);
}

int32_t set_current_directory(const char* path)
{
    if (!path) return 0;
    return SetCurrentDirectoryA(path) ? 1 : 0;
}

int32_t is_valid_file_name(const char* text)
{
    if (!text || !text[0]) return 0;
    for (const char* c = text; *c; ++c) {
        auto code = static_cast<unsigned char>(*c);
        if (code < 32 || std::strchr("\"*/:<>?\\|", code)) return 0;
    }
    return 1;
}
