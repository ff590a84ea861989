#!/usr/bin/env python3
"""Plants one-line faults in engine/ and cli/ and in the runtime's file and
drop code, one at a time, and tells which the tests catch: each fault is
applied, its build folder is built, the tests that cover the file run, and the
file is put back as it was (also when the tool is stopped). Run on demand, not
by the test command:

    tools/mutate.py BUILD_DIR [NAME...]
    tools/mutate.py --win WIN_BUILD [BUILD_DIR] [NAME...]

BUILD_DIR: a host build without the sanitizers (e.g. build/dev), for the faults
in engine/ and cli/. WIN_BUILD: the Windows build (e.g. build/win, configured
as tools/test.sh configures it), for the faults in the runtime's file and drop
code, whose tests run only there: only the test programs a fault names are
built, and their tests run under Wine in one prefix, display and server for
the whole run (tools/wine-env.sh). Faults whose build is not given are left
out. NAMEs: only those faults (a first argument that names no fault is
BUILD_DIR).

Before the first fault, each build is built and the tests of the chosen faults
run once as the sources are: if any fails there the run stops, since every
fault would look caught. A fault is caught when the build fails or a test
fails. The tool ends with "N of M caught" and exits 1 if any fault was not
found in its file (the list is out of date).
"""
import os
import signal
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


class Windows:
    """The build a fault in the runtime needs: the Windows build, where only
    `targets`, the test programs that hold its tests, are built."""

    def __init__(self, *targets):
        self.targets = list(targets)


# The test programs of the runtime's file code, and of its drop code.
FILE_TESTS = Windows("core_file_tests")
DROP_TESTS = Windows("ui_tests", "ui_dialog_tests")
DROP_LIST_TESTS = Windows("core_drop_list_tests", "ui_dialog_tests")

# name, file, the text of the line as it is, the text planted instead, the
# tests that cover it (ctest -R), and for code tested in the Windows build a
# sixth field, Windows(...); without it a fault runs in the host build.
FAULTS = [
    ("last-window", "engine/finding.cpp",
     "for (int64_t at = 0; at + WINDOW <= length && at < windows_end; at += STEP) {",
     "for (int64_t at = 0; at + WINDOW < length && at < windows_end; at += STEP) {", "cli_|Scan|Finding"),
    ("bit-start-fast-path", "cli/command_export.cpp",
     "const bool plain = !layout.vertical && !layout.lsb && !layout.bottom_up && layout.start_bit % 8 == 0 &&",
     "const bool plain = !layout.vertical && !layout.lsb && !layout.bottom_up &&", "cli_"),
    ("permissions", "cli/output_file_posix.cpp", "fchmod(fd, target.st_mode & 07777);", "(void)target;", "cli_"),
    ("window-growth", "cli/source_file.cpp", "if (offset + count > start + length) length *= 2;",
     "if (offset + count > start + length + 1) length *= 2;", "cli_|Source"),
    ("html-escape", "cli/report.cpp", "case '&': out += \"&amp;\"; break;", "case '&': out += \"&\"; break;", "cli_"),
    ("title-grid", "engine/view_title.cpp",
     "if (read.grid && (!take_number(p, 1, 25, grid_x) || !take(p, \"x\") || !take_number(p, 1, 25, grid_y)))",
     "if (read.grid && (!take_number(p, 1, 25, grid_x) || !take(p, \"x\") || !take_number(p, 0, 25, grid_y)))",
     "cli_|Title|View"),
    ("hex-digits", "cli/numbers.cpp", "if (digit >= base) return Parsed::not_a_number;", "(void)base;", "cli_"),
    ("chunk-overlap", "cli/chunks.cpp", "const int64_t length = std::min(chunk + overlap, size - offset);",
     "const int64_t length = std::min(chunk, size - offset);", "cli_|Chunk"),
    ("errors-bound", "engine/glyph_search.cpp",
     "for (int32_t i = 0; i < compared && errors <= max_errors_; i += 2) {",
     "for (int32_t i = 1; i < compared && errors <= max_errors_; i += 2) {",
     "cli_find|Glyph"),
    ("match-limit", "cli/command_find.cpp", "if (listed_ == limit_) {", "if (listed_ > limit_) {", "cli_find"),
    ("cut-start", "cli/command_cut.cpp",
     "const int64_t first = std::clamp<int64_t>(start, 0, source.size());\n    const int64_t end = std::clamp",
     "const int64_t first = std::clamp<int64_t>(start, 1, source.size());\n    const int64_t end = std::clamp", "cli_"),
    ("interrupt-cleanup", "cli/system_posix.cpp", "if (g_pending_output[0]) unlink(g_pending_output);\n    static",
     "(void)g_pending_output;\n    static", "cli_failures"),
    ("first-failed-write", "cli/pictures.cpp", "if (!out.write(bytes, size)) return why = out.failure(), false;",
     "out.write(bytes, size);", "cli_failures"),
    ("same-file", "cli/output_file.cpp", "if (!input.empty() && input != \"-\" && path != \"-\" && same_file(input, path)) {",
     "if (false) {", "cli_behaviour"),
    ("tally-samples", "engine/overview.cpp",
     "for (int64_t i = (offset + step_ - 1) / step_ * step_ - offset; i < count; i += step_, ++samples_) ++counts_[bytes[i]];",
     "for (int64_t i = 0; i < count; i += step_, ++samples_) ++counts_[bytes[i]];", "BlockTally|cli_"),
    ("glyph-rows", "engine/finding.cpp", "if (below) ranked[w] = std::min(ranked[w], ranked[below] * 0.99);",
     "if (below && !glyphs) ranked[w] = std::min(ranked[w], ranked[below] * 0.99);", "GuessWidths|Finding|cli_"),
    ("stdin-copy", "cli/source_file_posix.cpp", "        total += n;\n    }\n    handle_ = fd;",
     "        total += n - 1;\n    }\n    handle_ = fd;", "cli_behaviour"),
    ("device-refusal", "cli/source_file_posix.cpp",
     "if (S_ISCHR(mode)) return \"is a character device, not read (files and block devices are)\";", "", "cli_behaviour"),
    # The runtime's files: buffered reading and writing, sizes, replacing a file when saving.
    ("kept-system", "runtime/core/files.cpp",
     "constexpr DWORD KEPT = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |",
     "constexpr DWORD KEPT = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE |", "^Files\\.", FILE_TESTS),
    ("short-read", "runtime/core/files.cpp", "int32_t copied = m < got ? m : got;", "int32_t copied = m;",
     "^Files\\.", FILE_TESTS),
    ("read-ahead-tail", "runtime/core/files.cpp",
     "if (k > 0) std::memcpy(destination, file->buffer + (file->fill - k), static_cast<size_t>(k));",
     "if (k > 0) std::memcpy(destination, file->buffer + (file->buffer_size - k), static_cast<size_t>(k));",
     "^Files\\.", FILE_TESTS),
    ("flush-bound", "runtime/core/files.cpp", "if (n < file->available) {", "if (n <= file->available) {",
     "^Files\\.", FILE_TESTS),
    ("closed-file-cache", "runtime/core/files.cpp",
     "    g_last_number = ANY_NUMBER;\n    g_last_file = nullptr;\n    flush(file);",
     "    g_last_file = nullptr;\n    flush(file);", "^Files\\.", FILE_TESTS),
    ("missing-size", "runtime/core/files.cpp", "        return FILE_SIZE_MISSING;\n    }\n    FindClose(search);",
     "        return 0;\n    }\n    FindClose(search);", "^Files\\.", FILE_TESTS),
    ("size-high-half", "runtime/core/files.cpp",
     "return static_cast<int64_t>((static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow);",
     "return static_cast<int64_t>(found.nFileSizeLow);", "^Files\\.", FILE_TESTS),
    ("read-only-target", "runtime/core/files.cpp",
     "(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))",
     "(attributes & FILE_ATTRIBUTE_DIRECTORY))", "^Files\\.", FILE_TESTS),
    ("incomplete-save", "runtime/core/files.cpp", "if (!complete || !usable<Paths>(path)) {",
     "if (!complete && !usable<Paths>(path)) {", "^Files\\.", FILE_TESTS),
    ("target-in-use", "runtime/core/files.cpp",
     "HANDLE target = Paths::open(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);",
     "HANDLE target = Paths::open(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, "
     "OPEN_EXISTING);", "^Files\\.", FILE_TESTS),
    # The drop target's list of posted records, and the reader of dropped file lists.
    ("posted-drop-limit", "runtime/ui/drop.cpp", "if (g_posted_drop_count == POSTED_DROP_LIMIT) return false;",
     "if (g_posted_drop_count == POSTED_DROP_LIMIT + 1) return false;", "^(DropTest|Events)\\.", DROP_TESTS),
    ("forget-last-entry", "runtime/ui/drop.cpp",
     "g_posted_drops[index] = g_posted_drops[--g_posted_drop_count];",
     "g_posted_drops[index] = g_posted_drops[g_posted_drop_count--];", "^(DropTest|Events)\\.", DROP_TESTS),
    ("failed-post-listed", "runtime/ui/drop.cpp",
     "    claim_posted_drop(window, message, wparam, reinterpret_cast<LPARAM>(record));\n    return false;",
     "    return false;", "^(DropTest|Events)\\.", DROP_TESTS),
    ("refused-drop-effect", "runtime/ui/drop.cpp", "                free_record(record);\n                record = nullptr;",
     "                free_record(record);", "^(DropTest|Events)\\.", DROP_TESTS),
    ("closing-gadget-drops", "runtime/ui/drop.cpp",
     "while (PeekMessageA(&message, window, WINDOW_DROP_MESSAGE, GADGET_DROP_MESSAGE, PM_REMOVE))",
     "while (PeekMessageA(&message, window, WINDOW_DROP_MESSAGE, WINDOW_DROP_MESSAGE, PM_REMOVE))",
     "^(DropTest|Events)\\.", DROP_TESTS),
    ("drop-list-header", "runtime/ui/drop_list.cpp", "if (!block || size < DROP_HEADER_SIZE) return 0;",
     "if (!block || size < DROP_HEADER_SIZE - 1) return 0;", "^(DropList|DropTest)\\.", DROP_LIST_TESTS),
    ("drop-list-byte-bound", "runtime/ui/drop_list.cpp",
     "return offset >= 0 && offset < size ? bytes[offset] : 0u;",
     "return offset >= 0 && offset <= size ? bytes[offset] : 0u;", "^(DropList|DropTest)\\.", DROP_LIST_TESTS),
    ("drop-list-narrow-end", "runtime/ui/drop_list.cpp", "while (end < block.size && block.bytes[end] != 0) ++end;",
     "while (block.bytes[end] != 0) ++end;", "^(DropList|DropTest)\\.", DROP_LIST_TESTS),
    ("drop-list-room", "runtime/ui/drop_list.cpp",
     "int64_t stored = count < room - length ? count : room - length;", "int64_t stored = count;",
     "^(DropList|DropTest)\\.", DROP_LIST_TESTS),
    ("drop-list-surrogate", "runtime/ui/drop_list.cpp", "at += 2 * count;", "at += 2;",
     "^(DropList|DropTest)\\.", DROP_LIST_TESTS),
]


def run(command, cwd):
    return subprocess.run(command, cwd=cwd, capture_output=True, text=True).returncode


def build_command(folder, build):
    """Builds the whole host folder, or a Windows fault's test programs."""
    command = ["cmake", "--build", folder, "-j2"]
    return command + ["--target", *build.targets] if build else command


def tests_command(tests):
    return ["ctest", "-R", tests, "--timeout", "300"]


def under_wine(win_build):
    """Becomes a shell that starts one Wine environment and runs this tool
    again inside it; when the run ends (also when it is stopped), the shell
    stops the environment's server and display (tools/wine-env.sh). The
    desktop keeper must be built before the environment starts."""
    if run(["cmake", "--build", win_build, "-j2", "--target", "desktop_keeper"], ROOT) != 0:
        print(f"{win_build}: the desktop keeper does not build")
        return 1
    script = 'source "$1" "$2" && shift 2 && python3 "$@"'
    environment = dict(os.environ, BITLOUPE_MUTATE_WINE=win_build)
    os.execvpe("bash", ["bash", "-c", script, "bash", os.path.join(ROOT, "tools", "wine-env.sh"), win_build,
                        os.path.abspath(__file__), *sys.argv[1:]], environment)


def parse(arguments):
    """The host build folder, the Windows one and the fault names chosen;
    None for a wrong command line."""
    arguments = list(arguments)
    win = None
    if "--win" in arguments:
        at = arguments.index("--win")
        if at + 1 == len(arguments):
            return None
        win = os.path.abspath(arguments[at + 1])
        del arguments[at:at + 2]
    names = {fault[0] for fault in FAULTS}
    host = os.path.abspath(arguments.pop(0)) if arguments and arguments[0] not in names else None
    unknown = [name for name in arguments if name not in names]
    if unknown:
        print("no such fault: " + " ".join(unknown))
    not_built = [d for d in (host, win) if d and not os.path.isfile(os.path.join(d, "CMakeCache.txt"))]
    if not_built:
        print("not a configured build folder: " + " ".join(not_built))
    if unknown or not_built or not (host or win):
        return None
    return host, win, arguments


def build_of(fault):
    """The Windows build a fault names, or None for the host build."""
    return fault[5] if len(fault) > 5 else None


def main():
    # Stopped by a signal too, the tool puts the planted file back.
    signal.signal(signal.SIGTERM, lambda number, frame: sys.exit(128 + number))
    parsed = parse(sys.argv[1:])
    if not parsed:
        print(__doc__)
        return 2
    host, win, names = parsed
    chosen = [f for f in FAULTS if not names or f[0] in names]
    missing = [f[0] for f in chosen if not (win if build_of(f) else host)]
    if names and missing:
        print("these faults need a build not given (BUILD_DIR or --win): " + " ".join(missing))
        return 2
    chosen = [f for f in chosen if f[0] not in missing]
    on_windows = [f for f in chosen if build_of(f)]
    if on_windows and os.environ.get("BITLOUPE_MUTATE_WINE") != win:
        return under_wine(win)

    # The unchanged sources first: built, and the chosen faults' tests passing.
    builds = []
    if len(on_windows) < len(chosen):
        builds.append((host, None, [f for f in chosen if not build_of(f)]))
    if on_windows:
        builds.append((win, Windows(*sorted({t for f in on_windows for t in build_of(f).targets})), on_windows))
    for folder, build, faults in builds:
        if run(build_command(folder, build), ROOT) != 0:
            print(f"{folder}: does not build as the sources are")
            return 1
        if run(tests_command("|".join(sorted({f"({f[4]})" for f in faults}))), folder) != 0:
            print(f"{folder}: the tests fail as the sources are (nothing planted yet)")
            return 1

    caught, stale = 0, 0
    for fault in chosen:
        name, path, before, after, tests = fault[:5]
        build = build_of(fault)
        folder = win if build else host
        full = os.path.join(ROOT, path)
        with open(full) as f:
            original = f.read()
        if original.count(before) != 1:
            print(f"{name}: not found once in {path} (the list is out of date)")
            stale += 1
            continue
        try:
            with open(full, "w") as f:
                f.write(original.replace(before, after))
            if run(build_command(folder, build), ROOT) != 0:
                result = "caught (the build fails)"
            elif run(tests_command(tests), folder) != 0:
                result = "caught"
            else:
                result = "MISSED"
        finally:
            with open(full, "w") as f:
                f.write(original)
        caught += result.startswith("caught")
        print(f"{name} ({path}): {result}", flush=True)
    for folder, build, _ in builds:
        run(build_command(folder, build), ROOT)
    print(f"{caught} of {len(chosen) - stale} caught")
    return 1 if stale else 0


if __name__ == "__main__":
    sys.exit(main())
