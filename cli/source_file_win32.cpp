// source_file_win32.cpp: SourceFile on CreateFileMapping and MapViewOfFile,
// opened through the wide-character interfaces.
#include <windows.h>

#include <cwctype>
#include <vector>

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

namespace {

// Whether the last name of `path` is one of Windows's device names (NUL,
// CON, COM1, LPT1...: with any extension, in any case), or the path names a
// device outright (\\.\...): those are not opened at all.
bool device_name(const std::wstring& path)
{
    if (path.rfind(L"\\\\.\\", 0) == 0 || path.rfind(L"//./", 0) == 0) return true;
    const size_t slash = path.find_last_of(L"\\/:");
    std::wstring name = path.substr(slash == std::wstring::npos ? 0 : slash + 1);
    name = name.substr(0, name.find(L'.'));
    while (!name.empty() && name.back() == L' ') name.pop_back();
    for (wchar_t& c : name) c = static_cast<wchar_t>(towupper(c));
    static const wchar_t* const reserved[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* r : reserved)
        if (name == r) return true;
    return name.size() == 4 && (name.rfind(L"COM", 0) == 0 || name.rfind(L"LPT", 0) == 0) && name[3] >= L'1' &&
           name[3] <= L'9';
}

// The file-mapping object of a whole file of `size` bytes, into `mapping`
// (none for an empty file, which cannot be mapped and needs no mapping).
bool map_whole(HANDLE file, int64_t size, intptr_t& mapping, std::string& why)
{
    if (size == 0) return true;
    HANDLE made = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!made) {
        why = system_error_text(GetLastError());
        return false;
    }
    mapping = reinterpret_cast<intptr_t>(made);
    return true;
}

}  // namespace

bool SourceFile::open(const std::string& path, std::string& why)
{
    if (path == "-") return open_stream_copy(reinterpret_cast<intptr_t>(GetStdHandle(STD_INPUT_HANDLE)), why);
    const std::wstring wide = wide_path(path);
    if (device_name(wide)) {
        why = "is a device, not read (files are)";
        return false;
    }
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
    if (GetFileType(file) != FILE_TYPE_DISK) {
        why = "is not a file on a disk, not read";
        CloseHandle(file);
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
    return map_whole(file, size_, mapping_, why);
}

bool SourceFile::open_stream_copy(intptr_t from, std::string& why)
{
    wchar_t folder[MAX_PATH + 1] = {}, name[MAX_PATH + 1] = {};
    if (!GetTempPathW(MAX_PATH + 1, folder) || !GetTempFileNameW(folder, L"blp", 0, name)) {
        why = "cannot make a temporary copy: " + system_error_text(GetLastError());
        return false;
    }
    // Removed when it is closed, however the program ends.
    HANDLE copy = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (copy == INVALID_HANDLE_VALUE) {
        why = "cannot make a temporary copy: " + system_error_text(GetLastError());
        DeleteFileW(name);
        return false;
    }
    handle_ = reinterpret_cast<intptr_t>(copy);
    std::vector<uint8_t> buffer(size_t{1} << 20);
    int64_t total = 0;
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(reinterpret_cast<HANDLE>(from), buffer.data(), static_cast<DWORD>(buffer.size()), &n, nullptr)) {
            const DWORD error = GetLastError();
            if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) break;  // the writer is done
            why = system_error_text(error);
            return false;
        }
        if (n == 0) break;
        DWORD written = 0;
        if (!WriteFile(copy, buffer.data(), n, &written, nullptr) || written != n) {
            why = "cannot make a temporary copy: " + system_error_text(GetLastError());
            return false;
        }
        total += n;
    }
    size_ = total;
    return map_whole(copy, size_, mapping_, why);
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
