// system_posix.cpp: arguments, console output and folders on POSIX systems,
// where arguments and file names are bytes and passed through as they are.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "system.h"

#if defined(__SANITIZE_ADDRESS__)
#define BITLOUPE_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BITLOUPE_ADDRESS_SANITIZER 1
#endif
#endif

std::vector<std::string> program_arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

namespace {
int g_output_error = 0;  // the first error writing standard output
}  // namespace

void write_out(const std::string& text)
{
    if ((std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) &&
        g_output_error == 0)
        g_output_error = errno != 0 ? errno : EIO;
}

bool standard_output_written(std::string& why)
{
    if (std::fflush(stdout) != 0 && g_output_error == 0) g_output_error = errno != 0 ? errno : EIO;
    if (g_output_error == 0) return true;
    why = std::strerror(g_output_error);
    return false;
}

void write_error(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stderr);
}

bool make_folder(const std::string& path, std::string& why)
{
    if (mkdir(path.c_str(), 0777) == 0) return true;
    const int error = errno;
    struct stat status {};
    if (error == EEXIST && stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) return true;
    why = error == EEXIST ? "is not a folder" : std::strerror(error);
    return false;
}

std::string full_path(const std::string& path)
{
    std::string whole = path;
    if (path.empty() || path[0] != '/') {
        std::string here(4096, '\0');
        while (!getcwd(here.data(), here.size()) && errno == ERANGE) here.resize(here.size() * 2);
        here.resize(std::strlen(here.c_str()));
        whole = here + "/" + path;
    }
    std::vector<std::string> names;
    for (size_t at = 0; at <= whole.size();) {
        const size_t slash = std::min(whole.find('/', at), whole.size());
        const std::string name = whole.substr(at, slash - at);
        if (name == "..") {
            if (!names.empty()) names.pop_back();
        } else if (!name.empty() && name != ".") {
            names.push_back(name);
        }
        at = slash + 1;
    }
    std::string out;
    for (const std::string& name : names) out += "/" + name;
    return out.empty() ? "/" : out;
}

bool same_file(const std::string& a, const std::string& b)
{
    struct stat first {}, second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

std::FILE* temporary_file(std::string& why)
{
    const char* folder = std::getenv("TMPDIR");
    std::string name = std::string(folder && *folder ? folder : "/tmp") + "/bitloupe-scan-XXXXXX";
    const int fd = mkstemp(name.data());
    std::FILE* file = fd >= 0 ? fdopen(fd, "w+b") : nullptr;
    if (!file) {
        why = std::string("cannot make a temporary file: ") + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return nullptr;
    }
    ::unlink(name.c_str());  // gone from the folder at once
    return file;
}

bool error_is_terminal()
{
    return isatty(2) != 0;
}

namespace {

// Filled in before the fault can happen; the handler only reads them.
char g_fault_message[4096];
char g_pending_output[4096];

void report_read_fault(int)
{
    if (g_pending_output[0]) unlink(g_pending_output);
    const ssize_t ignored = write(2, g_fault_message, std::strlen(g_fault_message));
    (void)ignored;
    _exit(1);
}

void copy_limited(char* to, size_t size, const std::string& text)
{
    const size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(to, text.data(), n);
    to[n] = 0;
}

}  // namespace

void arm_read_fault_report(const std::string& file)
{
    copy_limited(g_fault_message, sizeof g_fault_message,
                 "bitloupe-cli: " + file + ": the file shrank while it was read\n");
    struct sigaction action {};
    action.sa_handler = report_read_fault;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, nullptr);
}

void set_pending_output(const std::string& temporary)
{
    copy_limited(g_pending_output, sizeof g_pending_output, temporary);
}

namespace {

void report_interruption(int signal)
{
    if (g_pending_output[0]) unlink(g_pending_output);
    static const char message[] = "bitloupe-cli: interrupted\n";
    const ssize_t ignored = write(2, message, sizeof message - 1);
    (void)ignored;
    _exit(128 + signal);
}

#ifndef BITLOUPE_ADDRESS_SANITIZER
// The handler runs once (SA_RESETHAND): the signal raised again ends the
// program as the crash would have.
void report_crash(int signal)
{
    if (g_pending_output[0]) unlink(g_pending_output);
    static const char message[] = "bitloupe-cli: crashed\n";
    const ssize_t ignored = write(2, message, sizeof message - 1);
    (void)ignored;
    raise(signal);
}
#endif

}  // namespace

void arm_interruption_report()
{
    struct sigaction action {};
    action.sa_handler = report_interruption;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
#ifndef BITLOUPE_ADDRESS_SANITIZER
    // (Under the address sanitizer its own report of a crash stays.)
    struct sigaction crash {};
    crash.sa_handler = report_crash;
    crash.sa_flags = SA_RESETHAND;
    sigemptyset(&crash.sa_mask);
    for (const int signal : {SIGSEGV, SIGILL, SIGFPE, SIGABRT}) sigaction(signal, &crash, nullptr);
#endif
}

void crash_here()
{
    raise(SIGSEGV);
    _exit(139);
}

extern char** environ;

bool open_in_browser(const std::string& address, std::string& why)
{
    // xdg-open's own output would mix with ours: it goes nowhere.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    char program[] = "xdg-open";
    std::string copy = address;
    char* argv[] = {program, copy.data(), nullptr};
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed) return why = std::strerror(failed), false;
    // xdg-open hands the address to the browser and ends; it is waited for
    // on a thread of its own, so that it leaves no zombie.
    std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
    return true;
}
