// viewer_bad_input.cpp: files, paths, typed texts and save targets that a user
// may throw at the viewer. Each gives the documented result or a clear message,
// and the program keeps running (or ends as documented) and loses no file.
#include "viewer_support.h"

#include <winioctl.h>

namespace {

using namespace viewer_e2e;

// Makes a file of `size` bytes that holds no data on disk (its length is set,
// nothing is written), or returns false when the volume refuses.
bool make_sparse_file(const std::string& path, int64_t size)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD returned = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = size;
    const bool ok = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return ok;
}

}  // namespace

// An empty file shows what an unloaded view shows; one byte shows one byte;
// a file of 2 GiB - 1 loads whole and its last row ends where the file ends;
// one over 4 GiB loads its first 2,147,483,647 bytes after saying so.
TEST(viewer_input, EmptyOneByteAndHugeFiles)
{
    const std::string empty = data_dir() + "\\empty.bin";
    const std::string one = data_dir() + "\\one.bin";
    const std::string huge = data_dir() + "\\huge.bin";
    write_file(empty, {});
    const std::vector<uint8_t> one_byte{0xA5};
    write_file(one, one_byte);

    Viewer viewer;
    ASSERT_TRUE(viewer.start());
    ViewParams p;
    ASSERT_TRUE(viewer.open(one));
    p.data = &one_byte;
    EXPECT_TRUE(viewer.shows(p, "one_byte"));
    ASSERT_TRUE(viewer.open(empty));
    p.data = nullptr;
    EXPECT_TRUE(viewer.shows(p, "empty"));

    constexpr int64_t MAX_LOADED = 2147483647;
    // Reading 2 GiB takes a while, longer on a busy machine.
    constexpr DWORD LOAD_MS = 180000;
    // The end of the huge file drawn from a stand-in: the same zero bytes
    // before the end, shifted to start at 0.
    const std::vector<uint8_t> tail(4001, 0);
    const int64_t tail_start = MAX_LOADED - static_cast<int64_t>(tail.size());
    for (int64_t size : {MAX_LOADED, (int64_t{4} << 30) + 3}) {
        SCOPED_TRACE(size);
        if (!make_sparse_file(huge, size)) GTEST_SKIP() << "no sparse file of " << size << " bytes here";
        // A load sets the width back to 1 once the file is read: starting at
        // 2, the title of width 1 shows that the load is over.
        viewer.scroll_line(WIDTH_BAR);
        ASSERT_TRUE(viewer.wait_title("Bitloupe, sprsize:2 disp:0 zoom:1"));
        ASSERT_TRUE(viewer.open(huge));
        if (size > MAX_LOADED) {
            EXPECT_EQ(viewer.answer_message("Information", IDOK, LOAD_MS),
                      "Only the first 2147483647 bytes of this file are shown.");
        }
        p = ViewParams{};
        p.data = &tail;
        EXPECT_TRUE(wait_until([&] { return viewer.title() == expected_title(p); }, LOAD_MS)) << viewer.title();
        // Under Xvfb without a window manager, the area the Open dialog
        // covered while the program was busy reading is not shown again by
        // itself (a known display limit, see the README): the canvas is made
        // to repaint when its picture still differs.
        if (!viewer.wait_picture(expected_picture(p), "huge_start_unrepainted")) {
            RedrawWindow(viewer.main(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
            EXPECT_TRUE(viewer.wait_picture(expected_picture(p), "huge_start"));
        }

        // At two bytes a row the row scroll bar reaches the end (at one byte a
        // row its page, a 481st of the file, stays out of reach): the last
        // rows show the file's last bytes, then blue.
        viewer.scroll_line(WIDTH_BAR);
        p.width = 2;
        ASSERT_TRUE(viewer.wait_title(expected_title(p)));
        const int last_row = static_cast<int>((MAX_LOADED - 101) / 2);
        viewer.scroll_to(ROW_BAR, last_row);
        EXPECT_TRUE(wait_until([&] {
            return viewer.title() == "Bitloupe, sprsize:2 disp:" + std::to_string(int64_t{2} * last_row) + " zoom:1";
        })) << viewer.title();
        p.row = static_cast<int>((int64_t{2} * last_row - tail_start) / 2);
        EXPECT_TRUE(viewer.wait_picture(expected_picture(p), "huge_end"));
        // Another load releases the 2 GiB before the next one.
        ASSERT_TRUE(viewer.open(empty));
        p = ViewParams{};
        ASSERT_TRUE(viewer.wait_title(expected_title(p)));
    }
    DeleteFileA(huge.c_str());
    viewer.menu(MENU_QUIT);
    EXPECT_EQ(viewer.exit_code(), 0u);
}

// Every spin field takes whatever is typed or pasted into it: letters, signs,
// "$" and "%" prefixes, 30-digit numbers. The field reads the number at the
// start of its text (decimal, "$" hex or "%" binary, the low 32 bits of an
// overlong one), then keeps it in range: the offset at most the width and at
// least minus the width, a grid size 1 to 25 (0 becoming 1). Before each input
// the field is set to a value that differs from the expected result, so that
// seeing the expected title proves the input was handled.
TEST(viewer_input, SpinFieldsTakeAnyText)
{
    Viewer viewer;
    ASSERT_TRUE(viewer.start());
    const std::vector<uint8_t> data(300, 0x5A);
    const std::string path = data_dir() + "\\spin.bin";
    write_file(path, data);
    ASSERT_TRUE(viewer.open(path));
    ViewParams p;
    p.data = &data;
    // Width 4: the offset then reaches -4 to 4.
    for (int i = 0; i < 3; ++i) viewer.scroll_line(WIDTH_BAR);
    p.width = 4;
    ASSERT_TRUE(viewer.wait_title(expected_title(p)));
    viewer.click(GRID_BOX);
    p.grid = true;
    ASSERT_TRUE(viewer.wait_title(expected_title(p)));

    struct Input {
        const char* text;
        bool typed;    // typed a key at a time after the known value, else pasted over it
        int known;     // the value set before the input
        int expected;  // the value the title shows after it
    };
    // Typed sequences that cannot change the value end in a digit that does.
    static const Input offset_inputs[] = {
        {"abc", false, 2, 0}, {"+", false, 2, 0}, {"-", false, 2, 0}, {"--5", false, 2, 0},
        {"+7", false, 2, 4}, {"$", false, 2, 0}, {"%", false, 2, 0}, {"$1F", false, 2, 4},
        {"%101", false, 2, 4}, {"$zz", false, 2, 0}, {"12abc", false, 2, 4}, {" 3 ", false, 2, 3},
        {"123456789012345678901234567890", false, 2, 4}, {"-123456789012345678901234567890", false, 2, -4},
        {"99999999999999999999", false, 2, 4}, {"0x10", false, 2, 0}, {"1e9", false, 2, 1},
        {"\xE4\xF6\xFC", false, 2, 0}, {"-0", false, 2, 0}, {"", false, 2, 0},
        {"-x9", true, 2, 4}, {"$%+7", true, 2, 4}, {"99999999999999999999999999999", true, 2, 4},
        {"a-b-c7", true, 2, 4},
    };
    static const Input grid_inputs[] = {
        {"abc", false, 7, 1}, {"+", false, 7, 1}, {"-", false, 7, 1}, {"--5", false, 7, 1},
        {"+7", false, 9, 7}, {"$", false, 7, 1}, {"%", false, 7, 1}, {"$1F", false, 7, 25},
        {"%101", false, 7, 5}, {"$zz", false, 7, 1}, {"12abc", false, 7, 12}, {" 3 ", false, 7, 3},
        {"123456789012345678901234567890", false, 7, 25}, {"-123456789012345678901234567890", false, 7, 1},
        {"99999999999999999999", false, 7, 25}, {"0x10", false, 7, 1}, {"1e9", false, 7, 1},
        {"\xE4\xF6\xFC", false, 7, 1}, {"-0", false, 7, 1}, {"", false, 7, 1},
        {"-x9", true, 7, 25}, {"$%+7", true, 7, 25}, {"99999999999999999999999999999", true, 7, 25},
        {"a-b-c7", true, 7, 25},
    };
    struct Field {
        int spin;
        int* value;
        const Input* inputs;
        size_t count;
    };
    const Field fields[] = {
        {OFFSET_SPIN, &p.offset, offset_inputs, std::size(offset_inputs)},
        {GRID_X_SPIN, &p.grid_x, grid_inputs, std::size(grid_inputs)},
        {GRID_Y_SPIN, &p.grid_y, grid_inputs, std::size(grid_inputs)},
    };
    for (const Field& field : fields) {
        for (size_t i = 0; i < field.count; ++i) {
            const Input& input = field.inputs[i];
            SCOPED_TRACE("spin " + std::to_string(field.spin) + (input.typed ? " typed '" : " pasted '") +
                         input.text + "'");
            viewer.paste(field.spin, std::to_string(input.known).c_str());
            *field.value = input.known;
            ASSERT_TRUE(viewer.wait_title(expected_title(p)));
            if (input.typed) {
                // The title may pass through the expected value before the
                // last key: wait until every key is handled.
                for (const char* c = input.text; *c; ++c) viewer.type(field.spin, *c);
                ASSERT_TRUE(viewer.sync());
            } else {
                viewer.paste(field.spin, input.text);
            }
            *field.value = input.expected;
            EXPECT_TRUE(viewer.wait_title(expected_title(p)));
            ASSERT_FALSE(viewer.exited());
        }
    }
    // Good values still work, and the picture follows them.
    viewer.paste(OFFSET_SPIN, "-3");
    viewer.paste(GRID_X_SPIN, "5");
    viewer.paste(GRID_Y_SPIN, "6");
    p.grid_x = 5;
    p.grid_y = 6;
    p.offset = -3;
    EXPECT_TRUE(viewer.shows(p, "spin_after_junk"));
    viewer.menu(MENU_QUIT);
    EXPECT_EQ(viewer.exit_code(), 0u);
}

// Saving onto a read-only file or into a folder that does not exist fails with
// the program's message and changes nothing; saving onto the loaded file
// replaces it, while the view keeps showing what was loaded.
TEST(viewer_input, SavesThatCannotBeDoneAndOntoTheLoadedFile)
{
    const std::string loaded = data_dir() + "\\loaded.bin";
    const std::vector<uint8_t> bytes{0x0F, 0xF0, 0x3C, 0xC3};
    write_file(loaded, bytes);
    // The save dialogs' first patterns add ".bin" and ".jpg" to the name typed.
    const std::string read_only = data_dir() + "\\read-only";
    const std::vector<uint8_t> kept{'k', 'e', 'p', 't'};
    for (const char* extension : {".bin", ".jpg"}) {
        const std::string path = read_only + extension;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        write_file(path, kept);
        ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    }

    Viewer viewer;
    ASSERT_TRUE(viewer.start());
    ASSERT_TRUE(viewer.open(loaded));
    ViewParams p;
    p.data = &bytes;
    ASSERT_TRUE(viewer.shows(p, "loaded"));

    ASSERT_TRUE(viewer.save_binary("4", read_only));
    EXPECT_EQ(viewer.answer_message("save binary", IDYES), "Overwrite this file? " + read_only + ".bin");
    EXPECT_EQ(viewer.answer_message("save binary", IDOK), "Cannot save binary: " + read_only + ".bin");
    EXPECT_EQ(read_file(read_only + ".bin"), kept);

    viewer.menu(MENU_SAVE_IMAGE);
    ASSERT_TRUE(viewer.answer_file_dialog("Save jpg Image...", read_only));
    EXPECT_EQ(viewer.answer_message("CanvasGadget", IDYES), "Overwrite this file? " + read_only + ".jpg");
    EXPECT_EQ(viewer.answer_message("CanvasGadget", IDOK), "Cannot save image: " + read_only + ".jpg");
    EXPECT_EQ(read_file(read_only + ".jpg"), kept);
    for (const char* extension : {".bin", ".jpg"}) {
        const std::string path = read_only + extension;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
    }

    // A folder that does not exist: the file dialog may refuse the name
    // itself; if it lets it through, the program says it cannot save.
    const std::string missing = data_dir() + "\\no such folder\\out";
    ASSERT_TRUE(viewer.ask_save_binary("4"));
    HWND dialog = viewer.wait_window("#32770", "Save binary file");
    ASSERT_NE(dialog, nullptr);
    SendMessageA(file_name_field(dialog), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(missing.c_str()));
    PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    HWND answer = nullptr;
    ASSERT_TRUE(wait_until([&] {
        for (HWND box = nullptr; (box = FindWindowExA(nullptr, box, "#32770", nullptr)) != nullptr;) {
            DWORD owner = 0;
            GetWindowThreadProcessId(box, &owner);
            if (owner == viewer.process_id() && box != dialog && IsWindowVisible(box)) answer = box;
        }
        return answer != nullptr || !IsWindow(dialog);
    }));
    if (answer) {
        // The dialog's own complaint, or the program's message once it closed.
        const std::string title = text_of(answer);
        PostMessageA(answer, WM_COMMAND, IDOK, 0);
        wait_until([&] { return !IsWindow(answer); });
        if (IsWindow(dialog)) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(wait_until([&] { return !IsWindow(dialog); }));
        EXPECT_TRUE(title == "save binary" || IsWindow(dialog) == FALSE) << title;
    }
    EXPECT_FALSE(file_exists(missing + ".bin"));
    EXPECT_FALSE(file_exists(data_dir() + "\\no such folder"));

    // Onto the loaded file, complemented: the file changes, the view does not.
    viewer.click(INVERT_BOX);
    ASSERT_TRUE(wait_until([&] { return viewer.checked(INVERT_BOX); }));
    const uint64_t before = write_time(loaded);
    ASSERT_TRUE(viewer.save_binary("4", data_dir() + "\\loaded"));
    EXPECT_EQ(viewer.answer_message("save binary", IDYES), "Overwrite this file? " + loaded);
    EXPECT_TRUE(wait_until([&] { return saved_since(loaded, before); }));
    const std::vector<uint8_t> inverted{0xF0, 0x0F, 0xC3, 0x3C};
    EXPECT_EQ(read_file(loaded), inverted);
    p.invert = true;
    EXPECT_TRUE(viewer.shows(p, "loaded_after_save"));
    viewer.menu(MENU_QUIT);
    EXPECT_EQ(viewer.exit_code(), 0u);
}

namespace {

// Makes a file of the given bytes at a path of exactly `length` characters
// under the data folder (in a subfolder when one name would be too long).
std::string file_with_path_length(size_t length, const std::vector<uint8_t>& bytes)
{
    std::string folder = data_dir() + "\\";
    if (length - folder.size() > 250) {
        folder += std::string(100, 'd') + "\\";
        CreateDirectoryA(folder.c_str(), nullptr);
    }
    const std::string path = folder + std::string(length - folder.size() - 4, 'p') + ".bin";
    // The \\?\ prefix lets the wide call make paths beyond MAX_PATH.
    const std::wstring wide = L"\\\\?\\" + std::wstring(path.begin(), path.end());
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "";
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return path;
}

// Open.. with `path` typed into the dialog and OK pressed; the dialog may stay.
void menu_open_with(const Viewer& viewer, const std::string& path)
{
    viewer.menu(MENU_OPEN);
    HWND dialog = viewer.wait_window("#32770", "Please choose file to load");
    if (!dialog) return;
    SendMessageA(file_name_field(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    wait_until([&] { return !IsWindow(dialog); }, 3000);
}

}  // namespace

// A path of 259 characters loads. Paths of 260 and 300 characters are more
// than a path may hold: the dialog says so and stays open, and once it is
// cancelled the loaded data is still there. (Such a path would overflow a
// buffer inside Wine's own dialog.) A name in the ANSI code page beyond ASCII
// loads.
TEST(viewer_input, LongAndNonAsciiPaths)
{
    const std::vector<uint8_t> first{0x81, 0x42, 0x24};
    const std::vector<uint8_t> other{0xFF, 0x00};
    Viewer viewer;
    ASSERT_TRUE(viewer.start());
    ViewParams p;
    const std::string longest = file_with_path_length(259, first);
    ASSERT_EQ(longest.size(), 259u);
    ASSERT_TRUE(viewer.open(longest));
    p.data = &first;
    EXPECT_TRUE(viewer.shows(p, "path_259"));

    for (size_t length : {260u, 300u}) {
        SCOPED_TRACE(length);
        const std::string too_long = file_with_path_length(length, other);
        ASSERT_EQ(too_long.size(), length);
        menu_open_with(viewer, too_long);
        // The message box has the dialog's title; its text control tells them apart.
        HWND box = nullptr, dialog = nullptr;
        ASSERT_TRUE(wait_until([&] {
            box = dialog = nullptr;
            for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, "#32770", "Please choose file to load"));) {
                DWORD owner = 0;
                GetWindowThreadProcessId(w, &owner);
                if (owner != viewer.process_id()) continue;
                (GetDlgItem(w, MESSAGE_TEXT_CONTROL) ? box : dialog) = w;
            }
            return box && dialog;
        })) << "a message over the dialog";
        EXPECT_EQ(text_of(GetDlgItem(box, MESSAGE_TEXT_CONTROL)), "This path is too long.");
        PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        ASSERT_TRUE(wait_until([&] { return !IsWindow(box); }));
        ASSERT_TRUE(IsWindow(dialog)) << "the dialog stays open";
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        ASSERT_TRUE(wait_until([&] { return !IsWindow(dialog); }));
        EXPECT_TRUE(viewer.shows(p, "path_too_long"));
        ASSERT_FALSE(viewer.exited());
    }

    // "Grafik-\xE4\xF6\xFC\xDF.bin" in the ANSI code page (Windows-1252
    // and its relatives: a-, o-, u-umlaut, sharp s).
    const std::string accented = data_dir() + "\\Grafik-\xE4\xF6\xFC\xDF.bin";
    wchar_t wide[MAX_PATH];
    if (GetACP() != 1252 || !MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, accented.c_str(), -1, wide, MAX_PATH))
        GTEST_SKIP() << "the ANSI code page here is " << GetACP();
    const std::vector<uint8_t> third{0x3C, 0x7E, 0x18};
    write_file(accented, third);
    ASSERT_TRUE(viewer.open(accented));
    p.data = &third;
    EXPECT_TRUE(viewer.shows(p, "path_accented"));
    viewer.menu(MENU_QUIT);
    EXPECT_EQ(viewer.exit_code(), 0u);
}
