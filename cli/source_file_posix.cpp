// source_file_posix.cpp: SourceFile on mmap.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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

bool SourceFile::open(const std::string& path, std::string& why)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) || !S_ISREG(info.st_mode)) {
        why = S_ISDIR(info.st_mode) ? "is a folder" : "is not a regular file";
        ::close(fd);
        return false;
    }
    handle_ = fd;
    size_ = info.st_size;
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
