// output_file_win32.cpp: OutputFile on Windows, through the wide-character
// interfaces and the viewer's replacement of a file.
#include <windows.h>

#include <string>

#include "files.h"
#include "output_file.h"
#include "system.h"

OutputFile::~OutputFile()
{
    abandon();
}

void OutputFile::abandon()
{
    if (!open_) return;
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
    if (!direct_) end_replacement_wide(temporary_wide_.data(), nullptr, 0);
    set_pending_output("");
    open_ = false;
}

namespace {

// The full form of a path ("C:\\folder\\name"): the replacement of a file
// works on full paths only (Wine's ReplaceFileW refuses relative ones).
std::wstring full_path(const std::wstring& path)
{
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) return path;
    full.resize(length);
    return full;
}

}  // namespace

bool OutputFile::open_target(const std::string& path, std::string& why)
{
    if (path == "-") {
        // Standard output, written as it is.
        HANDLE out = nullptr;
        if (!DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_OUTPUT_HANDLE), GetCurrentProcess(), &out, 0, FALSE,
                             DUPLICATE_SAME_ACCESS)) {
            why = system_error_text(GetLastError());
            return false;
        }
        path_ = path;
        temporary_wide_.clear();
        direct_ = true;
        handle_ = reinterpret_cast<intptr_t>(out);
        open_ = true;
        failure_.clear();
        written_ = 0;
        buffer_.clear();
        return true;
    }
    const std::wstring wide = full_path(wide_path(path));
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        why = "is a folder";
        return false;
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        why = "is read-only";
        return false;
    }
    temporary_wide_.assign(REPLACEMENT_WIDE_LIMIT, L'\0');
    if (!begin_replacement_wide(wide.c_str(), temporary_wide_.data())) {
        const DWORD error = GetLastError();
        why = wide.size() >= REPLACEMENT_WIDE_LIMIT ? "path too long" : system_error_text(error);
        return false;
    }
    // Shared for deletion: an interruption removes it while it is open.
    HANDLE file = CreateFileW(temporary_wide_.data(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, TRUNCATE_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        why = system_error_text(GetLastError());
        end_replacement_wide(temporary_wide_.data(), nullptr, 0);
        return false;
    }
    path_ = path;
    direct_ = false;
    set_pending_output(utf8_path(temporary_wide_.data()));
    handle_ = reinterpret_cast<intptr_t>(file);
    open_ = true;
    failure_.clear();
    written_ = 0;
    buffer_.clear();
    buffer_.reserve(BUFFER_BYTES);
    return true;
}

bool OutputFile::write_through(const uint8_t* p, size_t left)
{
    while (left > 0) {
        const DWORD piece = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
        DWORD n = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(handle_), p, piece, &n, nullptr) || n == 0) {
            failure_ = system_error_text(GetLastError());
            return false;
        }
        p += n;
        left -= n;
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
    if (!CloseHandle(reinterpret_cast<HANDLE>(handle_)) && failure_.empty())
        failure_ = system_error_text(GetLastError());
    open_ = false;
    if (direct_) {
        why = failure_;
        return failure_.empty();
    }
    const std::wstring target = full_path(wide_path(path_));
    const bool replaced = end_replacement_wide(temporary_wide_.data(), target.c_str(), failure_.empty() ? 1 : 0);
    // Only now: an interruption before the replacement removes the temporary file.
    set_pending_output("");
    if (!replaced) {
        if (failure_.empty()) failure_ = "cannot replace the file";
        why = failure_;
        return false;
    }
    return true;
}

bool OutputFile::has_room(int64_t bytes, std::string& why) const
{
    if (!open_ || direct_ || bytes <= 0) return true;
    std::wstring folder(temporary_wide_.data());
    const size_t slash = folder.find_last_of(L"\\/");
    if (slash != std::wstring::npos) folder.resize(slash + 1);
    ULARGE_INTEGER free{};
    if (!GetDiskFreeSpaceExW(folder.c_str(), &free, nullptr, nullptr)) return true;
    if (static_cast<unsigned long long>(bytes) <= free.QuadPart) return true;
    why = "needs " + std::to_string(bytes) + " bytes, and the disk has " + std::to_string(free.QuadPart) + " free";
    return false;
}
