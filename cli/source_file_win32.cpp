// source_file_win32.cpp: SourceFile on CreateFileMapping and MapViewOfFile,
// opened through the wide-character interfaces.
#include <windows.h>

#include "source_file.h"
#include "system.h"

SourceFile::~SourceFile()
{
    unmap();
    if (mapping_) CloseHandle(reinterpret_cast<HANDLE>(mapping_));
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

void SourceFile::unmap()
{
    if (window_) UnmapViewOfFile(window_);
    window_ = nullptr;
    window_length_ = 0;
}

bool SourceFile::open(const std::string& path, std::string& why)
{
    const std::wstring wide = wide_path(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        why = "is a folder";
        return false;
    }
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        why = system_error_text(GetLastError());
        return false;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) {
        why = system_error_text(GetLastError());
        CloseHandle(file);
        return false;
    }
    handle_ = reinterpret_cast<intptr_t>(file);
    size_ = size.QuadPart;
    // An empty file cannot be mapped, and needs no mapping.
    if (size_ > 0) {
        HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        if (!mapping) {
            why = system_error_text(GetLastError());
            return false;
        }
        mapping_ = reinterpret_cast<intptr_t>(mapping);
    }
    return true;
}

int64_t SourceFile::alignment()
{
    // Views start at a multiple of the allocation granularity.
    static const int64_t granularity = [] {
        SYSTEM_INFO info{};
        GetSystemInfo(&info);
        return static_cast<int64_t>(info.dwAllocationGranularity);
    }();
    return granularity;
}

const uint8_t* SourceFile::map(int64_t start, int64_t length, std::string& why)
{
    void* view = MapViewOfFile(reinterpret_cast<HANDLE>(mapping_), FILE_MAP_READ, static_cast<DWORD>(start >> 32),
                               static_cast<DWORD>(start & 0xFFFFFFFF), static_cast<SIZE_T>(length));
    if (!view) {
        why = system_error_text(GetLastError());
        return nullptr;
    }
    return static_cast<const uint8_t*>(view);
}

bool SourceFile::read_at(int64_t offset, int64_t count, uint8_t* into, std::string& why)
{
    while (count > 0) {
        // ReadFile takes at most a DWORD of bytes; the offset goes in an OVERLAPPED.
        const DWORD piece = static_cast<DWORD>(count < (int64_t{1} << 30) ? count : int64_t{1} << 30);
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD n = 0;
        if (!ReadFile(reinterpret_cast<HANDLE>(handle_), into, piece, &n, &at)) {
            why = system_error_text(GetLastError());
            return false;
        }
        if (n == 0) {
            why = "the file shrank while it was read";
            return false;
        }
        into += n;
        offset += n;
        count -= n;
    }
    return true;
}
