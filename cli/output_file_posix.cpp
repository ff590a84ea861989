// output_file_posix.cpp: OutputFile on POSIX: a temporary file made with
// mkstemps in the target's folder, renamed over the target.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>

#include "output_file.h"
#include "system.h"

OutputFile::~OutputFile()
{
    abandon();
}

void OutputFile::abandon()
{
    if (!open_) return;
    ::close(static_cast<int>(handle_));
    if (!direct_) ::unlink(temporary_.c_str());
    set_pending_output("");
    open_ = false;
}

bool OutputFile::open_target(const std::string& path, std::string& why)
{
    if (path == "-") {
        // Standard output, written as it is.
        const int fd = ::dup(1);
        if (fd < 0) {
            why = std::strerror(errno);
            return false;
        }
        failure_.clear();
        written_ = 0;
        buffer_.clear();
        path_ = path;
        temporary_.clear();
        direct_ = true;
        handle_ = fd;
        open_ = true;
        return true;
    }
    struct stat target {};
    const bool exists = ::stat(path.c_str(), &target) == 0;
    if (exists && S_ISDIR(target.st_mode)) {
        why = "is a folder";
        return false;
    }
    // A file nobody may write to is read-only, even to a user who could
    // write it anyway (root), as a read-only file is on Windows.
    if (exists && (::access(path.c_str(), W_OK) != 0 || (target.st_mode & 0222) == 0)) {
        why = "is read-only";
        return false;
    }
    failure_.clear();
    written_ = 0;
    buffer_.clear();
    buffer_.reserve(BUFFER_BYTES);
    path_ = path;
    // A device or a pipe (/dev/stdout, /dev/null) is written as it is: it
    // cannot be replaced, and a file put in its place would be wrong.
    if (exists && !S_ISREG(target.st_mode)) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) {
            why = std::strerror(errno);
            return false;
        }
        temporary_.clear();
        direct_ = true;
        handle_ = fd;
        open_ = true;
        return true;
    }
    // A link is followed: the file it names is the one replaced (or made).
    std::string real = path;
    char target_name[4096];
    for (int hops = 0; hops < 40; ++hops) {
        const ssize_t n = readlink(real.c_str(), target_name, sizeof target_name - 1);
        if (n <= 0) break;
        target_name[n] = 0;
        const size_t cut = real.rfind('/');
        real = target_name[0] == '/' || cut == std::string::npos ? std::string(target_name)
                                                                  : real.substr(0, cut + 1) + target_name;
    }
    const size_t slash = real.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : real.substr(0, slash + 1);
    std::string name = folder + ".~blpXXXXXX.tmp";
    const int fd = mkstemps(name.data(), 4);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    // The new file gets the target's permissions, or those a new file gets.
    if (exists) {
        fchmod(fd, target.st_mode & 07777);
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
    }
    path_ = real;
    temporary_ = name;
    direct_ = false;
    set_pending_output(temporary_);
    handle_ = fd;
    open_ = true;
    return true;
}

bool OutputFile::write_through(const uint8_t* p, size_t left)
{
    while (left > 0) {
        const ssize_t n = ::write(static_cast<int>(handle_), p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failure_ = n < 0 ? std::strerror(errno) : "nothing written";
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

bool OutputFile::commit(std::string& why)
{
    if (!open_) {
        why = "not open";
        return false;
    }
    flush();
    if (failure_.empty() && ::close(static_cast<int>(handle_)) != 0) failure_ = std::strerror(errno);
    else if (!failure_.empty()) ::close(static_cast<int>(handle_));
    open_ = false;
    if (failure_.empty() && !direct_ && std::rename(temporary_.c_str(), path_.c_str()) != 0)
        failure_ = std::strerror(errno);
    // Only now: an interruption before the rename removes the temporary file.
    set_pending_output("");
    if (!failure_.empty()) {
        if (!direct_) ::unlink(temporary_.c_str());
        why = failure_;
        return false;
    }
    return true;
}

bool OutputFile::has_room(int64_t bytes, std::string& why) const
{
    struct statvfs disk {};
    if (!open_ || direct_ || fstatvfs(static_cast<int>(handle_), &disk) != 0) return true;
    const auto free = static_cast<unsigned long long>(disk.f_bavail) * disk.f_frsize;
    if (bytes <= 0 || static_cast<unsigned long long>(bytes) <= free) return true;
    why = "needs " + std::to_string(bytes) + " bytes, and the disk has " + std::to_string(free) + " free";
    return false;
}
