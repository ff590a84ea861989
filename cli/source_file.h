// source_file.h: reading a file of any size through a memory mapping, a
// window at a time, so that memory use does not grow with the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class SourceFile {
public:
    SourceFile() = default;
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;
    ~SourceFile();

    // Opens `path` (UTF-8) for reading. On failure `why` says what went
    // wrong in words a user reads ("No such file or directory", "is a folder").
    // A block device is read at its whole size; "-" is standard input, and a
    // file that says it is empty but is not (/proc files) a stream too: both
    // are copied to a temporary file first (any size; removed at the end).
    // Character devices, pipes, sockets and folders are refused without
    // being opened (a serial port must not be touched), on Windows device
    // names (NUL, CON, COM1) too.
    bool open(const std::string& path, std::string& why);
    int64_t size() const { return size_; }

    // The bytes offset .. offset + count - 1, which must lie inside the file
    // (count at most WINDOW_BYTES); valid until the next call. Null when the
    // system cannot map them (`why` then says why).
    const uint8_t* bytes(int64_t offset, int64_t count, std::string& why);

    // Copies the bytes offset .. offset + count - 1, which must lie inside the
    // file, into `into`: for bytes read once, in order, where a mapping would
    // cost a page fault and a page walk for every page on top of the copy.
    // False, with `why`, when the system cannot read them.
    bool read(int64_t offset, int64_t count, uint8_t* into, std::string& why);

    // The most one call to bytes may ask for.
    static constexpr int64_t WINDOW_BYTES = int64_t{8} << 20;

private:
    // Per system: the alignment a mapping's start needs; mapping
    // start .. start + length - 1 (null, with `why`, on failure); reading
    // bytes inside the file at a position.
    static int64_t alignment();
    const uint8_t* map(int64_t start, int64_t length, std::string& why);
    bool read_at(int64_t offset, int64_t count, uint8_t* into, std::string& why);
    void unmap();
    // Copies the stream at `from` (standard input, a pseudo-file) to a new
    // temporary file that is removed when it is closed, and reads that.
    bool open_stream_copy(intptr_t from, std::string& why);

    int64_t size_ = 0;
    intptr_t handle_ = -1;         // file descriptor or HANDLE
    [[maybe_unused]] intptr_t mapping_ = 0;  // the file-mapping object (Windows)
    bool mappable_ = true;         // false: a device, read through read_at
    std::vector<uint8_t> copied_;  // the bytes bytes() gave when not mappable
    const uint8_t* window_ = nullptr;
    int64_t window_offset_ = 0;    // file position of window_[0]
    int64_t window_length_ = 0;
};
