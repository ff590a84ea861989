// files.h: numbered file objects with a 4096-byte buffer each, file sizes, the
// current directory and the file-name check of the file requesters.
#pragma once

#include <cstddef>
#include <cstdint>

struct FileRecord {
    void* handle;         // native file handle; non-zero while the file object exists
    uint8_t* buffer;      // the file's buffer on the main heap, or null when buffer_size is 0
    int32_t buffer_size;  // copied from the library setting at open time
    int32_t available;    // write state: free bytes left; read state: bytes read ahead, not delivered
    int32_t fill;         // bytes the last refill put into the buffer (read state)
    int32_t read_state;   // 1 when the buffer holds read-ahead data (or nothing), 0 when unwritten data
    int32_t write_failed; // 1 once a native write of this file has failed
};

constexpr int32_t FILE_BUFFER_SIZE = 4096;
// The part of a read that the buffer does not serve, when no shorter than the
// buffer, goes straight into the caller's memory, in native reads of this
// many bytes at most.
constexpr int32_t FILE_READ_PIECE = 256 << 10;
constexpr int64_t FILE_SIZE_MISSING = -1;    // null, empty, or names nothing
constexpr int64_t FILE_SIZE_DIRECTORY = -2;  // a directory or a drive

void init_files();
void end_files();
// Library setting: the buffer size of files opened from now on; 0 reads and
// writes straight through. FILE_BUFFER_SIZE unless changed.
void set_file_buffer_size(int32_t size);

// Each returns the dynamic number when `number` is -1, else the native handle; 0 on failure.
intptr_t open_file_for_reading(int32_t number, const char* path);
intptr_t create_file(int32_t number, const char* path);
intptr_t open_file_for_update(int32_t number, const char* path);

// Writes pending data and closes. Returns 1, or 0 when a write of the file failed
// (also an earlier buffered one) or the number names no file.
int32_t close_file(int32_t number);
// Reads up to `length` bytes into `destination`. Returns the bytes read (fewer
// at the end of the file), or 0 when the number names no file, nothing was
// asked for, or a native read failed.
int32_t read_data(int32_t number, void* destination, int32_t length);
int32_t write_byte(int32_t number, int32_t value);

int64_t file_size(const char* path);

// Replacing a file without ever losing it: begin_replacement makes a new
// empty file with a name of its own beside the target (`temporary` receives
// its path, 260 bytes; "~blpXXXX.tmp", or "~" and fewer digits where the
// folder leaves less room under MAX_PATH), which the caller fills in place of
// the target; end_replacement then puts it in the target's place when
// `complete` is non-zero, or removes it. An existing target is replaced with
// ReplaceFileA, so that it keeps its attributes, security and creation time
// (a plain move where the file system cannot do that); a missing one is made
// by a move. A read-only target or a folder is never replaced.
// begin_replacement returns 0 when no temporary file could be made (nothing is
// then touched); end_replacement returns 1 when the target holds the new file,
// and 0 when the target is as it was. The temporary file is gone either way.
int32_t begin_replacement(const char* path, char* temporary);
int32_t end_replacement(const char* temporary, const char* path, int32_t complete);
// The same for wide-character paths shorter than REPLACEMENT_WIDE_LIMIT
// characters; `temporary` receives REPLACEMENT_WIDE_LIMIT characters.
constexpr size_t REPLACEMENT_WIDE_LIMIT = 32768;
int32_t begin_replacement_wide(const wchar_t* path, wchar_t* temporary);
int32_t end_replacement_wide(const wchar_t* temporary, const wchar_t* path, int32_t complete);
void current_directory(int32_t position);
int32_t set_current_directory(const char* path);
int32_t is_valid_file_name(const char* text);
