// output_file.h: an output that replaces its target only when complete.
//
// The bytes go to a new file with a name of its own beside the target; commit
// puts it in the target's place (on Windows with the replacement the viewer's
// saves use, which keeps the target's attributes and security), and any
// failure, or an output that is never committed, removes it and leaves the
// target as it was.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();  // an uncommitted output is removed

    // Makes the temporary file for `path` (UTF-8). False, with `why`, when it
    // cannot (a missing folder, a read-only target, a folder as target, the
    // file `input` the work reads, by any name).
    bool begin(const std::string& path, std::string& why, const std::string& input = {});
    // Buffered. False once a write has failed (a full disk): the work should
    // stop there; commit then reports it.
    bool write(const void* data, size_t length);
    // The first failure, or empty.
    const std::string& failure() const { return failure_; }
    // Whether the target's disk has room for `bytes` more (always, for a
    // device or pipe). False, with `why`, when it has not.
    bool has_room(int64_t bytes, std::string& why) const;
    // Writes what is buffered and replaces the target. False, with `why`,
    // when any write failed or the target could not be replaced.
    bool commit(std::string& why);
    int64_t written() const { return written_; }
    // Whether the target is written as it is (a device or a pipe, such as
    // /dev/stdout, or "-", standard output), not replaced.
    bool direct() const { return direct_; }

private:
    static constexpr size_t BUFFER_BYTES = 1 << 20;
    // begin's work, per system.
    bool open_target(const std::string& path, std::string& why);
    bool flush();
    // Writes straight to the temporary file; false, with failure_ set, on error.
    bool write_through(const uint8_t* data, size_t length);
    void abandon();

    std::string path_;
    std::string failure_;          // the first failure, or empty
    std::vector<uint8_t> buffer_;
    int64_t written_ = 0;
    intptr_t handle_ = -1;         // file descriptor or HANDLE of the temporary file
    std::string temporary_;        // POSIX: its path
    std::vector<wchar_t> temporary_wide_;  // Windows: its path
    bool open_ = false;
    bool direct_ = false;
};
