// viewer_cli_identity.cpp: the viewer and `bitloupe-cli view` draw the same
// canvas. For each state of a table the real viewer is set through its
// controls, its canvas is taken from the screen, and bitloupe-cli.exe draws
// the same state of the same file into a PPM; every pixel must agree. Most
// states reach the command line as the window title (--state), as a user
// copies it; the others as the explicit options.
#include "viewer_support.h"

#include <cctype>

#ifndef BITLOUPE_CLI_EXE
#define BITLOUPE_CLI_EXE ""
#endif

namespace {

using namespace viewer_e2e;

enum DataFile { FONT, PROGRAM_HEAD };

// The first bytes of the viewer's own program file: headers, zero padding and
// code, 4,099 bytes, a prime, so that the data ends inside a row at every
// width above 1.
constexpr size_t PROGRAM_HEAD_LENGTH = 4099;

struct State {
    DataFile file;
    int width, row, offset, zoom;
    bool grid;
    int grid_x, grid_y;  // the spin fields; the title shows them only with the grid on
    bool multi, align, invert;
    bool options;  // the command line gets --width/--start/--zoom/--grid rather than --state
};

// The font is 5,670 bytes (its row bar ends at row 5,659 with a page of 11),
// the program head 4,099 (row 4,091, page 8). Grid 25x1 and 1x25 paint every
// pixel red; they stand between states that do not, since the screenshot wait
// needs each picture to differ from the one before.
constexpr bool T = true, F = false;
static const State STATES[] = {
    // file          width row  offset zoom grid  gx  gy  multi align invert options
    {FONT,             1,    0,   0,   1,   F,    8,  8,  F,    F,    F,     F},  // 0: as loaded
    {FONT,             1,    0,   0,   1,   F,    8,  8,  T,    F,    F,     T},  // 80 columns
    {FONT,             1,    0,   0,   1,   F,    8,  8,  T,    F,    T,     F},
    {FONT,             1,    0,   0,   2,   F,    8,  8,  T,    F,    T,     F},
    {FONT,             1,    0,   0,   8,   F,    8,  8,  T,    F,    F,     T},
    {FONT,             1,    0,   0,   8,   T,    8,  8,  T,    F,    F,     F},  // 5
    {FONT,             2,    0,   0,   8,   T,    8,  8,  F,    F,    F,     F},
    {FONT,             2,    0,  -2,   8,   T,    3, 11,  F,    F,    F,     F},  // minus the width
    {FONT,             2,    0,  -1,   2,   T,    3, 11,  T,    F,    F,     T},
    {FONT,             2,  300,   2,   2,   F,    3, 11,  T,    F,    F,     F},  // plus the width
    {FONT,             7,  300,   0,   2,   T,   25,  1,  F,    F,    F,     F},  // 10: all red
    {FONT,             7,  300,  -7,   1,   F,   25,  1,  F,    F,    F,     T},
    {FONT,             7,    0,  -7,   1,   T,    1, 25,  F,    F,    F,     F},  // all red
    {FONT,             7,    0,  -7,   1,   F,    1, 25,  T,    F,    F,     F},
    {FONT,             7,    0,  -3,   1,   F,    8, 25,  T,    T,    F,     F},
    {FONT,             7,    0,  -3,   1,   F,    8,  1,  T,    T,    F,     F},  // 15: a row a column
    {FONT,             7,    0,  -3,   2,   F,    8,  2,  T,    T,    F,     T},  // 960 rows a column
    {FONT,             7,   40,   7,   8,   T,    8,  2,  T,    T,    T,     F},
    {FONT,             7,  400,   7,   1,   T,   12, 16,  T,    T,    F,     F},
    {FONT,            80,  400,   0,   1,   F,   12, 16,  F,    F,    F,     F},  // past the end
    {FONT,            80,    0,   0,   1,   F,   12, 16,  F,    F,    F,     F},  // 20
    {FONT,            80,    0, -80,   1,   F,    8,  8,  F,    F,    F,     T},
    {FONT,            80,    0, -80,   2,   T,    8,  8,  F,    F,    T,     F},
    {FONT,            80,   60,   0,   1,   F,    8,  8,  F,    F,    F,     F},  // ends on row 11
    {FONT,            80,   70,  50,   8,   F,    8,  8,  F,    F,    F,     F},  // 20 bytes left
    {FONT,            80,   70,  80,   1,   T,    8,  8,  T,    F,    F,     T},  // 25: just past the end
    {FONT,            80,   71,   0,   2,   F,    8,  8,  F,    F,    T,     F},
    {FONT,             1, 5659,   0,   1,   F,    8,  8,  F,    F,    F,     F},  // the last row
    {FONT,             1, 5659,  -1,   1,   F,    8,  8,  T,    F,    F,     T},
    {FONT,             1, 5659,   1,   8,   T,    3, 11,  F,    F,    T,     F},
    {FONT,             1, 5000,   0,   1,   F,    3, 11,  T,    T,    F,     F},  // 30
    {PROGRAM_HEAD,     1,    0,   0,   1,   F,    3, 11,  F,    F,    F,     F},
    {PROGRAM_HEAD,     2,    0,   0,   2,   F,    3, 11,  F,    F,    T,     T},
    {PROGRAM_HEAD,     3,    0,  -3,   8,   T,    5,  9,  F,    F,    F,     F},
    {PROGRAM_HEAD,     7,  585,   0,   1,   F,    5,  9,  T,    F,    F,     F},  // 4 bytes left
    {PROGRAM_HEAD,     7,  585,  -7,   2,   F,    5,  9,  T,    F,    F,     T},  // 35
    {PROGRAM_HEAD,    80,   51,   0,   1,   F,    5,  9,  F,    F,    F,     F},  // 19 bytes left
    {PROGRAM_HEAD,    80,   51,  19,   8,   T,    8,  8,  F,    F,    F,     F},  // at the end
    {PROGRAM_HEAD,    80,   51,  18,   8,   F,    8,  8,  F,    F,    T,     F},  // 1 byte left
    {PROGRAM_HEAD,     1, 4091,   0,   1,   F,    8,  8,  F,    F,    F,     F},  // the last row
    {PROGRAM_HEAD,     1, 4091,   1,   2,   F,    8,  9,  T,    T,    F,     F},  // 40
    {PROGRAM_HEAD,     2, 2000,  -2,   1,   F,    8,  9,  T,    F,    F,     T},
    {PROGRAM_HEAD,     7,  100,   3,   8,   F,    8,  9,  T,    T,    T,     F},
    {PROGRAM_HEAD,    40,    0, -40,   1,   T,   16, 16,  T,    T,    F,     F},
    {PROGRAM_HEAD,    40,    0, -40,   1,   F,   16,  1,  T,    T,    F,     T},
    {PROGRAM_HEAD,    80,    0,   0,   2,   F,   16,  2,  T,    T,    F,     F},  // 45
    {FONT,             2,   10,   1,   1,   T,    8,  8,  T,    F,    T,     F},  // loaded again
};

std::string cli_path()
{
    if (const char* from_environment = std::getenv("BITLOUPE_CLI_EXE"); from_environment && *from_environment)
        return windows_path(from_environment);
    return windows_path(BITLOUPE_CLI_EXE);
}

int64_t start_of(const State& s) { return static_cast<int64_t>(s.row) * s.width + s.offset; }

std::string title_of(const State& s)
{
    std::string title = "Bitloupe, sprsize:" + std::to_string(s.width);
    if (s.grid) title += ", grid:" + std::to_string(s.grid_x) + "x" + std::to_string(s.grid_y);
    return title + " disp:" + std::to_string(start_of(s)) + " zoom:" + std::to_string(s.zoom);
}

// A 641 x 481 P6 picture with maximum 255, as the command line writes it;
// nothing when the file is anything else.
std::optional<Picture> read_ppm(const std::string& path)
{
    const auto bytes = read_file(path);
    if (!bytes) return std::nullopt;
    size_t at = 0;
    auto token = [&] {
        while (at < bytes->size() && std::isspace((*bytes)[at])) ++at;
        std::string text;
        while (at < bytes->size() && !std::isspace((*bytes)[at])) text += static_cast<char>((*bytes)[at++]);
        return text;
    };
    if (token() != "P6" || token() != std::to_string(VIEW_WIDTH) || token() != std::to_string(VIEW_HEIGHT) ||
        token() != "255")
        return std::nullopt;
    ++at;  // the one white-space character before the pixels
    const size_t count = static_cast<size_t>(VIEW_WIDTH) * VIEW_HEIGHT;
    if (bytes->size() != at + count * 3) return std::nullopt;
    Picture picture(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = &(*bytes)[at + i * 3];
        picture[i] = (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
    }
    return picture;
}

void save_ppm(const std::string& path, const Picture& picture)
{
    std::vector<uint8_t> bytes;
    const std::string header = "P6\n" + std::to_string(VIEW_WIDTH) + " " + std::to_string(VIEW_HEIGHT) + "\n255\n";
    bytes.assign(header.begin(), header.end());
    for (uint32_t c : picture) {
        bytes.push_back(static_cast<uint8_t>(c >> 16));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
        bytes.push_back(static_cast<uint8_t>(c));
    }
    write_file(path, bytes);
}

// Runs bitloupe-cli.exe with `arguments`, its output and errors going to
// `log`; the exit code, or a failure when it does not end in time.
::testing::AssertionResult run_cli(const std::string& arguments, const std::string& log)
{
    const std::string exe = cli_path();
    if (exe.empty() || !file_exists(exe)) return ::testing::AssertionFailure() << "no program at '" << exe << "'";
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE out = CreateFileA(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return ::testing::AssertionFailure() << "cannot write " << log;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = out;
    startup.hStdError = out;
    std::string command = "\"" + exe + "\" " + arguments;
    PROCESS_INFORMATION process{};
    const std::string dir = work_dir();
    const BOOL started = CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, dir.c_str(),
                                        &startup, &process);
    CloseHandle(out);
    if (!started) return ::testing::AssertionFailure() << "CreateProcess failed: " << GetLastError();
    const DWORD waited = WaitForSingleObject(process.hProcess, 2 * WAIT_MS);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    const auto said = read_file(log);
    const std::string text = said ? std::string(said->begin(), said->end()) : "";
    if (waited != WAIT_OBJECT_0) return ::testing::AssertionFailure() << "bitloupe-cli did not end: " << command;
    if (code != 0)
        return ::testing::AssertionFailure() << "bitloupe-cli ended with " << code << ": " << command << "\n" << text;
    return ::testing::AssertionSuccess();
}

// The command line of a state: the title the viewer shows plus the settings
// a title does not hold, or every setting as its own option.
std::string cli_arguments(const State& s, const std::string& file, const std::string& output,
                          const std::string& title)
{
    std::string a = "view \"" + file + "\" -o \"" + output + "\"";
    if (s.options) {
        a += " --width " + std::to_string(s.width) + " --start " + std::to_string(start_of(s)) + " --zoom " +
             std::to_string(s.zoom);
        if (s.grid) a += " --grid";
    } else {
        a += " --state \"" + title + "\"";
    }
    a += " --grid-size " + std::to_string(s.grid_x) + "," + std::to_string(s.grid_y);
    if (s.multi) a += " --multi";
    if (s.align) a += " --align";
    if (s.invert) a += " --invert";
    return a;
}

// The first differing pixels and how many differ.
std::string differences(const Picture& shown, const Picture& drawn)
{
    std::string text;
    size_t different = 0;
    for (size_t i = 0; i < shown.size(); ++i) {
        if (shown[i] == drawn[i]) continue;
        if (++different <= 8) {
            char line[96];
            std::snprintf(line, sizeof(line), "\n  at %d,%d: viewer %06X, bitloupe-cli %06X",
                          static_cast<int>(i % VIEW_WIDTH), static_cast<int>(i / VIEW_WIDTH),
                          static_cast<unsigned>(shown[i]), static_cast<unsigned>(drawn[i]));
            text += line;
        }
    }
    return text + "\n  " + std::to_string(different) + " pixels differ";
}

// The controls moved from whatever the viewer shows to state `s`. Posted
// messages are taken in order, but a paste is sent and would overtake them:
// the viewer is synced before each paste.
::testing::AssertionResult reach(const Viewer& viewer, const State& s)
{
    if (viewer.scroll_position(WIDTH_BAR) != s.width) viewer.scroll_to(WIDTH_BAR, s.width);  // the offset becomes 0
    if (viewer.scroll_position(ROW_BAR) != s.row) viewer.scroll_to(ROW_BAR, s.row);
    const std::pair<int, int> fields[] = {{OFFSET_SPIN, s.offset}, {GRID_X_SPIN, s.grid_x}, {GRID_Y_SPIN, s.grid_y}};
    for (const auto& [spin, value] : fields) {
        if (auto synced = viewer.sync(); !synced) return synced;
        if (viewer.field_text(spin) != std::to_string(value)) viewer.paste(spin, std::to_string(value).c_str());
    }
    viewer.menu(s.zoom == 1 ? MENU_ZOOM_1 : s.zoom == 2 ? MENU_ZOOM_2 : MENU_ZOOM_8);
    const std::pair<int, bool> boxes[] = {{GRID_BOX, s.grid}, {MULTI_BOX, s.multi}, {ALIGN_BOX, s.align},
                                          {INVERT_BOX, s.invert}};
    for (const auto& [box, on] : boxes)
        if (viewer.checked(box) != on) viewer.click(box);
    if (auto synced = viewer.sync(); !synced) return synced;
    for (const auto& [box, on] : boxes)
        if (viewer.checked(box) != on) return ::testing::AssertionFailure() << "check box " << box << " not set";
    for (const auto& [spin, value] : fields)
        if (viewer.field_text(spin) != std::to_string(value))
            return ::testing::AssertionFailure()
                   << "field " << spin << " holds '" << viewer.field_text(spin) << "', expected " << value;
    return viewer.wait_title(title_of(s));
}

TEST(viewer_cli, ViewDrawsTheViewersCanvasInEveryState)
{
    if (!console_font()) GTEST_SKIP() << "no unpacked console font in the data folder";
    const std::string paths[] = {data_dir() + "\\font.psf", data_dir() + "\\program_head.bin"};
    {
        auto program = read_file(program_path());
        ASSERT_TRUE(program && program->size() > PROGRAM_HEAD_LENGTH);
        program->resize(PROGRAM_HEAD_LENGTH);
        write_file(paths[PROGRAM_HEAD], *program);
    }
    Viewer viewer;
    ASSERT_TRUE(viewer.start());
    int loaded = -1;
    Picture previous;
    for (size_t n = 0; n < std::size(STATES); ++n) {
        const State& s = STATES[n];
        const std::string name = "identity_" + std::to_string(n);
        SCOPED_TRACE("state " + std::to_string(n) + ": " + title_of(s) + (s.multi ? " multi" : "") +
                     (s.align ? " align" : "") + (s.invert ? " invert" : "") + " grid size " +
                     std::to_string(s.grid_x) + "x" + std::to_string(s.grid_y));
        if (s.file != loaded) {
            // The dialog is gone before the program loads the file and
            // resets the bars: reach() reads them only after that.
            ASSERT_TRUE(viewer.open(paths[s.file]));
            ASSERT_TRUE(viewer.sync());
            loaded = s.file;
        }
        ASSERT_TRUE(reach(viewer, s));

        const std::string drawn_path = work_dir() + "\\" + name + "_cli.ppm";
        const std::string log_path = work_dir() + "\\" + name + "_cli.log";
        DeleteFileA(drawn_path.c_str());
        const auto ran = run_cli(cli_arguments(s, paths[s.file], drawn_path, viewer.title()), log_path);
        EXPECT_TRUE(ran);
        const std::optional<Picture> drawn = ran ? read_ppm(drawn_path) : std::nullopt;
        if (!drawn) {
            if (ran) ADD_FAILURE() << drawn_path << " is not a 641 x 481 PPM";
            continue;
        }
        // The screen may still show the state before for a moment: the wait
        // below can tell the new picture only from a different one.
        const bool same_as_before = *drawn == previous;
        previous = *drawn;
        if (same_as_before) {
            ADD_FAILURE() << "bitloupe-cli drew the picture of the state before: it ignored a setting, or the "
                             "table needs states that differ";
            continue;
        }

        Picture shown;
        if (wait_until([&] { return (shown = viewer.screenshot()) == *drawn; }, 5000)) {
            DeleteFileA(drawn_path.c_str());
            DeleteFileA(log_path.c_str());
            continue;
        }
        save_ppm(work_dir() + "\\" + name + "_viewer.ppm", shown);
        ADD_FAILURE() << "the viewer's canvas differs from bitloupe-cli's picture (both kept as " << name
                      << "_viewer.ppm and " << name << "_cli.ppm)" << differences(shown, *drawn);
    }
}

}  // namespace
