// source_file_posix.cpp: SourceFile on mmap.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "source_file.h"

SourceFile::~SourceFile()
{
    unmap();
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

void SourceFile::unmap()
{
    if (window_) munmap(const_cast<uint8_t*>(window_), static_cast<size_t>(window_length_));
    window_ = nullptr;
    window_length_ = 0;
}

namespace {

// Why a file of this type is not read, or empty for those that are.
std::string refusal(mode_t mode)
{
    if (S_ISDIR(mode)) return "is a folder";
    if (S_ISCHR(mode)) return "is a character device, not read (files and block devices are)";
    if (S_ISFIFO(mode)) return "is a pipe, not read by name (give it as standard input: -)";
    if (S_ISSOCK(mode)) return "is a socket, not read";
    if (!S_ISREG(mode) && !S_ISBLK(mode)) return "is not a regular file";
    return {};
}

}  // namespace

bool SourceFile::open(const std::string& path, std::string& why)
{
    if (path == "-") return open_stream_copy(0, why);
    // Looked at before it is opened: opening a device may have effects.
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !(why = refusal(info.st_mode)).empty()) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    if (fstat(fd, &info) != 0 || !(why = refusal(info.st_mode)).empty()) {
        if (why.empty()) why = std::strerror(errno);
        ::close(fd);
        return false;
    }
    handle_ = fd;
    if (S_ISBLK(info.st_mode)) {
        // A disk: its size is where its end is; read, not mapped.
        const off_t end = lseek(fd, 0, SEEK_END);
        if (end < 0) {
            why = std::strerror(errno);
            return false;
        }
        size_ = end;
        mappable_ = false;
        return true;
    }
    size_ = info.st_size;
    if (size_ == 0) {
        // A file that says it is empty may still have bytes to give (the
        // files of /proc and /sys): read as a stream.
        uint8_t first = 0;
        const ssize_t n = pread(fd, &first, 1, 0);
        if (n > 0) {
            handle_ = -1;
            const bool copied = open_stream_copy(fd, why);
            ::close(fd);
            return copied;
        }
    }
    return true;
}

bool SourceFile::open_stream_copy(intptr_t from, std::string& why)
{
    const char* folder = std::getenv("TMPDIR");
    std::string name = std::string(folder && *folder ? folder : "/tmp") + "/bitloupe-input-XXXXXX";
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        why = "cannot make a temporary copy: " + std::string(std::strerror(errno));
        return false;
    }
    // Gone from the folder at once: removed whatever way the program ends.
    ::unlink(name.c_str());
    const int in = static_cast<int>(from);
    // A stream given as a file name was opened without waiting for it.
    if (in != 0) fcntl(in, F_SETFL, fcntl(in, F_GETFL) & ~O_NONBLOCK);
    std::vector<uint8_t> buffer(size_t{1} << 20);
    int64_t total = 0;
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            why = std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(fd, buffer.data() + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                why = "cannot make a temporary copy: " + std::string(w < 0 ? std::strerror(errno) : "nothing written");
                ::close(fd);
                return false;
            }
            done += w;
        }
        total += n;
    }
    handle_ = fd;
    size_ = total;
    return true;
}

int64_t SourceFile::alignment()
{
    static const int64_t page = sysconf(_SC_PAGESIZE);
    return page;
}

const uint8_t* SourceFile::map(int64_t start, int64_t length, std::string& why)
{
    void* mapped = mmap(nullptr, static_cast<size_t>(length), PROT_READ, MAP_SHARED, static_cast<int>(handle_), start);
    if (mapped == MAP_FAILED) {
        why = std::strerror(errno);
        return nullptr;
    }
    madvise(mapped, static_cast<size_t>(length), MADV_SEQUENTIAL);
    return static_cast<const uint8_t*>(mapped);
}

bool SourceFile::read_at(int64_t offset, int64_t count, uint8_t* into, std::string& why)
{
    while (count > 0) {
        const ssize_t n = pread(static_cast<int>(handle_), into, static_cast<size_t>(count), offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            why = n < 0 ? std::strerror(errno) : "the file shrank while it was read";
            return false;
        }
        into += n;
        offset += n;
        count -= n;
    }
    return true;
}
