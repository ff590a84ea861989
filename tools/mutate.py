#!/usr/bin/env python3
"""Plants one-line faults in engine/ and cli/, one at a time, and tells which
the tests catch: each fault is applied, the build folder is built, the tests
that cover the file run, and the file is put back as it was (also when the
tool is stopped). Run on demand, not by the test command:

    tools/mutate.py BUILD_DIR [NAME...]   BUILD_DIR: a host build without the
                                          sanitizers (e.g. build/dev); NAMEs:
                                          only those faults

A fault is caught when the build fails or a test fails. The tool ends with
"N of M caught" and exits 1 if any fault was not found in its file (the list
is out of date).
"""
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# name, file, the text of the line as it is, the text planted instead, the
# tests that cover it (ctest -R).
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
     "for (int32_t i = 0; i < height_ && errors <= max_errors_; ++i) errors += wrong(compare_order_[i], row_mask_);",
     "for (int32_t i = 1; i < height_ && errors <= max_errors_; ++i) errors += wrong(compare_order_[i], row_mask_);",
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
]


def run(command, cwd):
    return subprocess.run(command, cwd=cwd, capture_output=True, text=True).returncode


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    build = os.path.abspath(sys.argv[1])
    chosen = [f for f in FAULTS if len(sys.argv) < 3 or f[0] in sys.argv[2:]]
    caught, stale = 0, 0
    for name, path, before, after, tests in chosen:
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
            if run(["cmake", "--build", build, "-j2"], ROOT) != 0:
                result = "caught (the build fails)"
            elif run(["ctest", "-R", tests, "--timeout", "300"], build) != 0:
                result = "caught"
            else:
                result = "MISSED"
        finally:
            with open(full, "w") as f:
                f.write(original)
        caught += result.startswith("caught")
        print(f"{name} ({path}): {result}", flush=True)
    run(["cmake", "--build", build, "-j2"], ROOT)
    print(f"{caught} of {len(chosen) - stale} caught")
    return 1 if stale else 0


if __name__ == "__main__":
    sys.exit(main())
