// system_win32.cpp: arguments and console output on Windows, through the
// wide-character interfaces.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>

#include "system.h"

namespace {

std::string utf8(const wchar_t* text, int length)
{
    if (length == 0) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring wide(const std::string& text)
{
    if (text.empty()) return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

DWORD g_output_error = 0;  // the first error writing standard output

// A console gets wide characters; a pipe or a file gets the UTF-8 bytes.
// False when the text did not get there.
bool write_to(DWORD which, FILE* stream, const std::string& text)
{
    HANDLE handle = GetStdHandle(which);
    DWORD mode = 0;
    if (handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        std::fflush(stream);
        const std::wstring w = wide(text);
        DWORD written = 0;
        return WriteConsoleW(handle, w.data(), static_cast<DWORD>(w.size()), &written, nullptr) != 0;
    }
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size() && std::fflush(stream) == 0;
}

}  // namespace

std::vector<std::string> program_arguments(int argc, char** argv)
{
    int count = 0;
    LPWSTR* list = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!list) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) out.push_back(utf8(list[i], static_cast<int>(wcslen(list[i]))));
    LocalFree(list);
    return out;
}

void write_out(const std::string& text)
{
    if (!write_to(STD_OUTPUT_HANDLE, stdout, text) && g_output_error == 0)
        g_output_error = GetLastError() != 0 ? GetLastError() : ERROR_WRITE_FAULT;
}

bool standard_output_written(std::string& why)
{
    if (std::fflush(stdout) != 0 && g_output_error == 0) g_output_error = ERROR_WRITE_FAULT;
    if (g_output_error == 0) return true;
    why = system_error_text(g_output_error);
    return false;
}

void write_error(const std::string& text)
{
    write_to(STD_ERROR_HANDLE, stderr, text);
}

namespace {

// The volume and file index of an existing file, through any name of it.
bool file_identity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info)
{
    HANDLE file = CreateFileW(wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool known = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    return known;
}

}  // namespace

bool same_file(const std::string& a, const std::string& b)
{
    BY_HANDLE_FILE_INFORMATION first{}, second{};
    return file_identity(a, first) && file_identity(b, second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

std::FILE* temporary_file(std::string& why)
{
    wchar_t folder[MAX_PATH + 1] = {}, name[MAX_PATH + 1] = {};
    std::FILE* file = nullptr;
    // "D": removed when it is closed.
    if (GetTempPathW(MAX_PATH + 1, folder) && GetTempFileNameW(folder, L"blp", 0, name))
        file = _wfopen(name, L"w+bD");
    if (!file) why = "cannot make a temporary file: " + system_error_text(GetLastError());
    return file;
}

bool make_folder(const std::string& path, std::string& why)
{
    const std::wstring name = wide(path);
    if (CreateDirectoryW(name.c_str(), nullptr)) return true;
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return true;
    why = error == ERROR_ALREADY_EXISTS ? "is not a folder" : system_error_text(error);
    return false;
}

std::string full_path(const std::string& path)
{
    const std::wstring name = wide(path.empty() ? "." : path);
    const DWORD size = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    const DWORD length = size ? GetFullPathNameW(name.c_str(), size, full.data(), nullptr) : 0;
    full.resize(length > 0 && length < size ? length : 0);
    std::string out = full.empty() ? path : utf8(full.data(), static_cast<int>(full.size()));
    for (char& c : out)
        if (c == '\\') c = '/';
    return out;
}

bool error_is_terminal()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

std::wstring wide_path(const std::string& path)
{
    return wide(path);
}

std::string utf8_path(const std::wstring& path)
{
    return utf8(path.data(), static_cast<int>(path.size()));
}

std::string system_error_text(unsigned long code)
{
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::string out = text ? utf8(text, static_cast<int>(length)) : std::string();
    if (text) LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
        out.pop_back();
    if (out.empty()) out = "system error " + std::to_string(code);
    return out;
}

namespace {

// Filled in before the fault can happen; the handler only reads them. The
// pending output is also read by the handler of an interruption, on a
// thread of its own: the lock keeps it whole.
std::wstring g_fault_message;
std::wstring g_pending_output;
SRWLOCK g_pending_lock = SRWLOCK_INIT;

LONG CALLBACK report_read_fault(EXCEPTION_POINTERS* info)
{
    if (!info || !info->ExceptionRecord || info->ExceptionRecord->ExceptionCode != EXCEPTION_IN_PAGE_ERROR)
        return EXCEPTION_CONTINUE_SEARCH;
    if (!g_pending_output.empty()) DeleteFileW(g_pending_output.c_str());
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(error, &mode)) {
        WriteConsoleW(error, g_fault_message.data(), static_cast<DWORD>(g_fault_message.size()), &written, nullptr);
    } else {
        const std::string text = utf8(g_fault_message.data(), static_cast<int>(g_fault_message.size()));
        WriteFile(error, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
    ExitProcess(1);
}

}  // namespace

void arm_read_fault_report(const std::string& file)
{
    g_fault_message = wide("bitloupe-cli: " + file + ": the file shrank while it was read\n");
    static const PVOID handler = AddVectoredExceptionHandler(1, report_read_fault);
    (void)handler;
}

void set_pending_output(const std::string& temporary)
{
    const std::wstring name = wide(temporary);
    AcquireSRWLockExclusive(&g_pending_lock);
    g_pending_output = name;
    ReleaseSRWLockExclusive(&g_pending_lock);
}

namespace {

BOOL WINAPI report_interruption(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT &&
        event != CTRL_LOGOFF_EVENT && event != CTRL_SHUTDOWN_EVENT)
        return FALSE;
    // Held to the end, so that no other output is named meanwhile.
    AcquireSRWLockExclusive(&g_pending_lock);
    if (!g_pending_output.empty()) DeleteFileW(g_pending_output.c_str());
    static const char message[] = "bitloupe-cli: interrupted\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), message, sizeof message - 1, &written, nullptr);
    ExitProcess(STATUS_CONTROL_C_EXIT);
}

LONG WINAPI report_crash(EXCEPTION_POINTERS* info)
{
    const DWORD code = info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionCode : 1;
    AcquireSRWLockExclusive(&g_pending_lock);
    if (!g_pending_output.empty()) DeleteFileW(g_pending_output.c_str());
    char message[64];
    const int n = std::snprintf(message, sizeof message, "bitloupe-cli: crashed (exception 0x%08lX)\n",
                                static_cast<unsigned long>(code));
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), message, static_cast<DWORD>(n > 0 ? n : 0), &written, nullptr);
    TerminateProcess(GetCurrentProcess(), code);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void arm_interruption_report()
{
    SetConsoleCtrlHandler(report_interruption, TRUE);
    SetUnhandledExceptionFilter(report_crash);
}

void crash_here()
{
    RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    ExitProcess(EXCEPTION_ACCESS_VIOLATION);
}

bool open_in_browser(const std::string& address, std::string& why)
{
    const auto result = reinterpret_cast<intptr_t>(
        ShellExecuteW(nullptr, L"open", wide(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result > 32) return true;
    why = system_error_text(GetLastError());
    return false;
}
