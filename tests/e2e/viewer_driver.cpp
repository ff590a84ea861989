// viewer_driver.cpp: end-to-end tests of bitloupe.exe. Each test starts the
// program as a separate process, finds its main window and uses it as a person
// would: menu items, scroll bars, check boxes, typing into the spin fields, the
// Open and Save dialogs and the message boxes. It checks what a person sees: the
// window title, the canvas pixels (screenshots compared with pictures computed
// here from the view rules), the saved files and the exit code.
#include "viewer_support.h"

#include <jpeglib.h>

namespace {

// The RGB pixels of a JPEG file, top row first; empty when it cannot be read.
std::vector<uint8_t> decode_jpeg_rgb(const std::vector<uint8_t>& bytes)
{
    jpeg_decompress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    std::vector<uint8_t> rgb;
    if (jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK) {
        info.out_color_space = JCS_RGB;
        jpeg_start_decompress(&info);
        const size_t row = static_cast<size_t>(info.output_width) * 3;
        rgb.resize(row * info.output_height);
        while (info.output_scanline < info.output_height) {
            JSAMPROW rows[1] = {rgb.data() + row * info.output_scanline};
            jpeg_read_scanlines(&info, rows, 1);
        }
        jpeg_finish_decompress(&info);
    }
    jpeg_destroy_decompress(&info);
    return rgb;
}

}  // namespace

namespace {

using namespace viewer_e2e;
// ---------------------------------------------------------------------------

TEST(viewer, StartsWithTheDefaultView)
{
    Viewer viewer;
    ASSERT_TRUE(viewer.start());
    EXPECT_TRUE(viewer.wait_title("Bitloupe, sprsize:1 disp:0 zoom:1"));

    RECT client{};
    GetClientRect(viewer.main(), &client);
    EXPECT_EQ(client.right, 660);
    // The menu bar takes its height from the 600 requested pixels or not;
    // either way the lowest gadgets (y 540 to 560) must stay inside.
    EXPECT_GE(client.bottom, 560);
    EXPECT_LE(client.bottom, 600);

    const std::pair<int, const char*> lowest[] = {{INVERT_BOX, "Button"}, {ALIGN_BOX, "Button"}, {GRID_Y_SPIN, "Edit"}};
    for (const auto& [id, class_name] : lowest) {
        HWND control = viewer.gadget(id, class_name);
        ASSERT_NE(control, nullptr) << "gadget " << id;
        EXPECT_TRUE(IsWindowVisible(control)) << "gadget " << id;
        RECT box{};
        GetWindowRect(control, &box);
        MapWindowPoints(nullptr, viewer.main(), reinterpret_cast<POINT*>(&box), 2);
        EXPECT_EQ(box.top, 540) << "gadget " << id;
        EXPECT_LE(box.bottom, client.bottom) << "gadget " << id;
    }
    EXPECT_EQ(viewer.field_text(GRID_X_SPIN), "8");
    EXPECT_EQ(viewer.field_text(GRID_Y_SPIN), "8");
    EXPECT_EQ(viewer.field_text(OFFSET_SPIN), "");
    EXPECT_EQ(viewer.scroll_position(WIDTH_BAR), 1);
    for (int box : {GRID_BOX, MULTI_BOX, INVERT_BOX, ALIGN_BOX}) EXPECT_FALSE(viewer.checked(box)) << box;

    ViewParams defaults;
    EXPECT_TRUE(viewer.shows(defaults, "startup"));

    // Nothing loaded: the zooms and MultiColumns draw the blue area of the layout.
    viewer.menu(MENU_ZOOM_8);
    defaults.zoom = 8;
    EXPECT_TRUE(viewer.shows(defaults, "startup_zoom8"));
    viewer.click(MULTI_BOX);
    defaults.multi = true;
    EXPECT_TRUE(viewer.wait_picture(expected_picture(defaults), "startup_multi"));
}

TEST(viewer, ShowsThreeLoadedBytesInEveryLayout)
{
    Viewer viewer;
    ASSERT_TRUE(viewer.start());
    ASSERT_TRUE(viewer.open(three_byte_file()));
    ViewParams p;
    p.data = &THREE_BYTES;
    EXPECT_TRUE(viewer.shows(p, "three"));

    viewer.click(INVERT_BOX);
    p.invert = true;
    EXPECT_TRUE(viewer.wait_picture(expected_picture(p), "three_invert"));

    viewer.menu(MENU_ZOOM_8);
    p.zoom = 8;
    EXPECT_TRUE(viewer.shows(p, "three_zoom8"));

    viewer.scroll_line(WIDTH_BAR);
    p.width = 2;
    EXPECT_TRUE(viewer.shows(p, "three_width2"));

    viewer.click(INVERT_BOX);
    viewer.menu(MENU_ZOOM_2);
    p.invert = false;
    p.zoom = 2;
    EXPECT_TRUE(viewer.shows(p, "three_zoom2"));
}

TEST(viewer, ShowsTheConsoleFont)
{
    const auto font = console_font();
    if (!font) GTEST_SKIP() << "no unpacked console font in the data folder";
    Viewer viewer;
    ASSERT_TRUE(viewer.start());
    ASSERT_TRUE(viewer.open(data_dir() + "\\font.psf"));
    ViewParams p;
    p.data = &*font;
    EXPECT_TRUE(viewer.wait_picture(expected_picture(p), "font"));

    viewer.click(MULTI_BOX);
    p.multi = true;
    EXPECT_TRUE(viewer.wait_picture(expected_picture(p), "font_multi"));
    save_bmp(work_dir() + "\\viewer.bmp", viewer.screenshot());

    viewer.scroll_to(WIDTH_BAR, 3);
    p.width = 3;
    EXPECT_TRUE(viewer.shows(p, "font_width3"));
    EXPECT_EQ(viewer.field_text(OFFSET_SPIN), "0");

    viewer.menu(MENU_ZOOM_2);
    p.zoom = 2;
    EXPECT_TRUE(viewer.shows(p, "font_width3_zoom2"));

    viewer.menu(MENU_ZOOM_8);
    p.zoom = 8;
    EXPECT_TRUE(viewer.shows(p, "font_width3_zoom8"));

    viewer.click(GRID_BOX);
    p.grid = true;
    EXPECT_TRUE(viewer.shows(p, "font_grid"));

    viewer.click(ALIGN_BOX);
    p.align = true;
    EXPECT_TRUE(viewer.wait_picture(expected_picture(p), "font_align"));

    // Align to grid with grid Y 1: one row per column.
    viewer.click(GRID_BOX);
    p.grid = false;
    ASSERT_TRUE(viewer.wait_title(expected_title(p)));
    viewer.select_all(GRID_Y_SPIN);
    viewer.type(GRID_Y_SPIN, '1');
    p.grid_y = 1;
    EXPECT_TRUE(viewer.wait_picture(expected_picture(p), "font_align_rows1"));
    viewer.select_all(GRID_Y_SPIN);
    viewer.type(GRID_Y_SPIN, '8');
    p.grid_y = 8;
    EXPECT_TRUE(viewer.wait_picture(expected_picture(p), "font_align_rows8"));
    viewer.click(GRID_BOX);
    p.grid = true;
    ASSERT_TRUE(viewer.wait_title(expected_title(p)));

    viewer.menu(MENU_ZOOM_1);
    viewer.scroll_to(WIDTH_BAR, 80);
    p.zoom = 1;
    p.width = 80;
    EXPECT_TRUE(viewer.shows(p, "font_width80"));

    viewer.scroll_to(WIDTH_BAR, 2);
    p.width = 2;
    EXPECT_TRUE(viewer.wait_title(expected_title(p)));
    viewer.click(GRID_BOX);
    p.grid = false;
    EXPECT_TRUE(viewer.wait_title(expected_title(p)));
    viewer.click(ALIGN_BOX);
    viewer.click(INVERT_BOX);
    p.align = false;
    p.invert = true;
    EXPECT_TRUE(viewer.wait_picture(expected_picture(p), "font_width2_invert"));
    viewer.scroll_line(ROW_BAR);
    p.row = 1;
    EXPECT_TRUE(viewer.shows(p, "font_row1"));
}

TEST(viewer, CleansUpWhatIsTypedIntoTheSpinFields)
{
    Viewer viewer;
    ASSERT_TRUE(viewer.start());
    ViewParams p;
    ASSERT_TRUE(viewer.wait_title(expected_title(p)));

    // Before the width ever changed the offset reaches only 1.
    viewer.select_all(OFFSET_SPIN);
    viewer.type(OFFSET_SPIN, '5');
    p.offset = 1;
    EXPECT_TRUE(viewer.wait_title(expected_title(p)));
    EXPECT_EQ(viewer.field_text(OFFSET_SPIN), "1");

    // With Grid on the title shows both grid sizes after every keystroke.
    viewer.click(GRID_BOX);
    p.grid = true;
    ASSERT_TRUE(viewer.wait_title(expected_title(p)));
    viewer.select_all(GRID_X_SPIN);
    viewer.type(GRID_X_SPIN, '1');
    p.grid_x = 1;
    EXPECT_TRUE(viewer.wait_title(expected_title(p)));
    viewer.type(GRID_X_SPIN, '2');
    p.grid_x = 12;
    EXPECT_TRUE(viewer.wait_title(expected_title(p)));
    EXPECT_EQ(viewer.field_text(GRID_X_SPIN), "12");
    viewer.type(GRID_X_SPIN, '3');
    p.grid_x = 25;
    EXPECT_TRUE(viewer.wait_title(expected_title(p)));
    EXPECT_EQ(viewer.field_text(GRID_X_SPIN), "25");
    EXPECT_TRUE(viewer.wait_picture(expected_picture(p), "typed_grid25"));

    viewer.select_all(GRID_X_SPIN);
    viewer.type(GRID_X_SPIN, '\b');
    p.grid_x = 1;
    EXPECT_TRUE(viewer.wait_title(expected_title(p)));
    EXPECT_EQ(viewer.field_text(GRID_X_SPIN), "1");

    viewer.select_all(GRID_Y_SPIN);
    viewer.type(GRID_Y_SPIN, '7');
    p.grid_y = 7;
    EXPECT_TRUE(viewer.wait_title(expected_title(p)));
    viewer.select_all(GRID_Y_SPIN);
    viewer.type(GRID_Y_SPIN, '-');
    p.grid_y = 1;
    EXPECT_TRUE(viewer.wait_title(expected_title(p)));
    EXPECT_EQ(viewer.field_text(GRID_Y_SPIN), "1");

    viewer.select_all(GRID_X_SPIN);
    viewer.type(GRID_X_SPIN, '9');
    p.grid_x = 9;
    ASSERT_TRUE(viewer.wait_title(expected_title(p)));
    viewer.select_all(GRID_Y_SPIN);
    viewer.type(GRID_Y_SPIN, '6');
    p.grid_y = 6;
    EXPECT_TRUE(viewer.shows(p, "typed_grid9x6"));

    // Moving the width resets the offset; the row position stays.
    viewer.scroll_line(ROW_BAR);
    p.row = 1;
    EXPECT_TRUE(viewer.wait_title(expected_title(p)));
    viewer.scroll_line(WIDTH_BAR);
    p.width = 2;
    p.offset = 0;
    EXPECT_TRUE(viewer.wait_title(expected_title(p)));
    EXPECT_EQ(viewer.field_text(OFFSET_SPIN), "0");

    // The offset now reaches minus and plus the width.
    viewer.select_all(OFFSET_SPIN);
    viewer.type(OFFSET_SPIN, '7');
    p.offset = 2;
    EXPECT_TRUE(viewer.wait_title(expected_title(p)));
    EXPECT_EQ(viewer.field_text(OFFSET_SPIN), "2");

    // A negative start with nothing loaded: the positions before 0 show the
    // row pattern, the rest is blue.
    viewer.click(GRID_BOX);
    p.grid = false;
    ASSERT_TRUE(viewer.wait_title(expected_title(p)));
    viewer.scroll_line(ROW_BAR, false);
    p.row = 0;
    ASSERT_TRUE(viewer.wait_title(expected_title(p)));
    viewer.paste(OFFSET_SPIN, "-2");
    p.offset = -2;
    EXPECT_TRUE(viewer.shows(p, "typed_negative_offset"));
    EXPECT_EQ(viewer.field_text(OFFSET_SPIN), "-2");

    // A pasted negative grid size stays in the field; the spacing used keeps
    // within 1 to 25.
    viewer.click(GRID_BOX);
    ASSERT_TRUE(viewer.wait_title("Bitloupe, sprsize:2, grid:9x6 disp:-2 zoom:1"));
    viewer.paste(GRID_X_SPIN, "-5");
    EXPECT_TRUE(wait_until([&] { return viewer.title().find("grid:9x6") == std::string::npos; }))
        << viewer.title();
    EXPECT_EQ(viewer.field_text(GRID_X_SPIN), "-5");
    const std::string title = viewer.title();
    const auto at = title.find("grid:");
    ASSERT_NE(at, std::string::npos) << title;
    const int used = std::atoi(title.c_str() + at + 5);
    EXPECT_GE(used, 1) << title;
    EXPECT_LE(used, 25) << title;
}

// Keystrokes that arrive while the program is still cleaning up the field
// after the previous one must not be lost: typed in one go, "1", "2" ends as
// grid size 12, and "3" after it as 25.
TEST(viewer, KeepsUpWithFastTyping)
{
    Viewer viewer;
    ASSERT_TRUE(viewer.start());
    viewer.click(GRID_BOX);
    ViewParams p;
    p.grid = true;
    ASSERT_TRUE(viewer.wait_title(expected_title(p)));
    viewer.select_all(GRID_X_SPIN);
    viewer.type(GRID_X_SPIN, '1');
    viewer.type(GRID_X_SPIN, '2');
    p.grid_x = 12;
    EXPECT_TRUE(viewer.wait_title(expected_title(p)));
    EXPECT_EQ(viewer.field_text(GRID_X_SPIN), "12");
    viewer.type(GRID_X_SPIN, '3');
    viewer.click(INVERT_BOX);
    viewer.menu(MENU_ZOOM_2);
    p.grid_x = 25;
    p.zoom = 2;
    EXPECT_TRUE(viewer.wait_title(expected_title(p)));
    EXPECT_EQ(viewer.field_text(GRID_X_SPIN), "25");
}

TEST(viewer, LoadingResetsWidthAndRowAndKeepsTheOffset)
{
    const auto font = console_font();
    if (!font) GTEST_SKIP() << "no unpacked console font in the data folder";
    Viewer viewer;
    ASSERT_TRUE(viewer.start());
    ASSERT_TRUE(viewer.open(three_byte_file()));
    viewer.scroll_to(WIDTH_BAR, 3);
    ViewParams p;
    p.data = &THREE_BYTES;
    p.width = 3;
    ASSERT_TRUE(viewer.wait_title(expected_title(p)));
    viewer.select_all(OFFSET_SPIN);
    viewer.type(OFFSET_SPIN, '2');
    p.offset = 2;
    EXPECT_TRUE(viewer.shows(p, "reload_before"));

    ASSERT_TRUE(viewer.open(data_dir() + "\\font.psf"));
    p.data = &*font;
    p.width = 1;
    EXPECT_TRUE(viewer.shows(p, "reload_font"));
    EXPECT_EQ(viewer.field_text(OFFSET_SPIN), "2");
    EXPECT_EQ(viewer.scroll_position(ROW_BAR), 0);

    // A path that does not exist: nothing is held any more, no message.
    viewer.scroll_line(ROW_BAR);
    p.row = 1;
    ASSERT_TRUE(viewer.wait_title(expected_title(p)));
    ASSERT_TRUE(viewer.open(data_dir() + "\\no such file.bin"));
    p.data = nullptr;
    p.row = 0;
    EXPECT_TRUE(viewer.shows(p, "reload_missing"));

    // An empty file holds no data either.
    const std::string empty = data_dir() + "\\empty.bin";
    write_file(empty, {});
    ASSERT_TRUE(viewer.open(data_dir() + "\\font.psf"));
    p.data = &*font;
    ASSERT_TRUE(viewer.wait_picture(expected_picture(p), "reload_font_again"));
    ASSERT_TRUE(viewer.open(empty));
    p.data = nullptr;
    EXPECT_TRUE(viewer.wait_picture(expected_picture(p), "reload_empty"));
    viewer.menu(MENU_SAVE_BINARY);
    EXPECT_EQ(viewer.answer_message("Title", IDOK), "1st load file!");
}

// The arrows move a bar by one and the page codes by its page; the thumb sets
// the position; every move stops at the ends. After a load the row bar's page
// is a 481st of the file: 480 rows for a file of 230,880 bytes (481 would be
// a 480th).
TEST(viewer, ScrollBarsMoveByALineAndByAPage)
{
    std::vector<uint8_t> data(230880);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    const std::string path = data_dir() + "\\scroll.bin";
    write_file(path, data);
    Viewer viewer;
    ASSERT_TRUE(viewer.start());
    ASSERT_TRUE(viewer.open(path));
    ViewParams p;
    p.data = &data;
    ASSERT_TRUE(viewer.wait_title(expected_title(p)));

    const SCROLLINFO width_bar = viewer.scroll_info(WIDTH_BAR);
    EXPECT_EQ(width_bar.nMin, 1);
    EXPECT_EQ(width_bar.nMax, 95);
    EXPECT_EQ(width_bar.nPage, 16u);
    const SCROLLINFO row_bar = viewer.scroll_info(ROW_BAR);
    EXPECT_EQ(row_bar.nMin, 0);
    EXPECT_EQ(row_bar.nMax, 230879);
    EXPECT_EQ(row_bar.nPage, 480u);

    struct Step {
        int bar;
        int code;
        int position;  // for SB_THUMBPOSITION
        int width;     // expected afterwards
        int row;
    };
    // Widths run from 1 to 95 - 16 + 1 = 80; rows from 0 to 230,879 - 480 + 1.
    static const Step steps[] = {
        {WIDTH_BAR, SB_PAGEDOWN, 0, 17, 0},      {WIDTH_BAR, SB_PAGEDOWN, 0, 33, 0},
        {WIDTH_BAR, SB_PAGEUP, 0, 17, 0},        {WIDTH_BAR, SB_LINEUP, 0, 16, 0},
        {WIDTH_BAR, SB_LINEDOWN, 0, 17, 0},      {WIDTH_BAR, SB_PAGEUP, 0, 1, 0},
        {WIDTH_BAR, SB_LINEDOWN, 0, 2, 0},       {WIDTH_BAR, SB_PAGEUP, 0, 1, 0},
        {WIDTH_BAR, SB_THUMBPOSITION, 75, 75, 0}, {WIDTH_BAR, SB_PAGEDOWN, 0, 80, 0},
        {WIDTH_BAR, SB_PAGEUP, 0, 64, 0},        {WIDTH_BAR, SB_THUMBPOSITION, 1, 1, 0},
        {ROW_BAR, SB_PAGEDOWN, 0, 1, 480},       {ROW_BAR, SB_PAGEDOWN, 0, 1, 960},
        {ROW_BAR, SB_PAGEUP, 0, 1, 480},         {ROW_BAR, SB_LINEUP, 0, 1, 479},
        {ROW_BAR, SB_LINEDOWN, 0, 1, 480},       {ROW_BAR, SB_PAGEUP, 0, 1, 0},
        {ROW_BAR, SB_LINEDOWN, 0, 1, 1},         {ROW_BAR, SB_PAGEUP, 0, 1, 0},
        {ROW_BAR, SB_THUMBPOSITION, 230000, 1, 230000}, {ROW_BAR, SB_PAGEDOWN, 0, 1, 230400},
        {ROW_BAR, SB_PAGEUP, 0, 1, 229920},      {ROW_BAR, SB_PAGEDOWN, 0, 1, 230400},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE("bar " + std::to_string(step.bar) + " code " + std::to_string(step.code) + " to width " +
                     std::to_string(step.width) + " row " + std::to_string(step.row));
        if (step.code == SB_THUMBPOSITION)
            viewer.scroll_to(step.bar, step.position);
        else
            viewer.scroll(step.bar, step.code);
        p.width = step.width;
        p.row = step.row;
        ASSERT_TRUE(viewer.wait_title(expected_title(p)));
        EXPECT_EQ(viewer.scroll_position(step.bar), step.bar == WIDTH_BAR ? step.width : step.row);
    }
    EXPECT_TRUE(viewer.wait_picture(expected_picture(p), "scroll_end"));
    viewer.menu(MENU_QUIT);
    EXPECT_EQ(viewer.exit_code(), 0u);
}

TEST(viewer, SavesBinaryRangesAndAsksBeforeOverwriting)
{
    const std::string target = data_dir() + "\\saved";
    DeleteFileA((target + ".bin").c_str());
    DeleteFileA(target.c_str());
    Viewer viewer;
    ASSERT_TRUE(viewer.start());

    // Nothing loaded yet.
    viewer.menu(MENU_SAVE_BINARY);
    EXPECT_EQ(viewer.answer_message("Title", IDOK), "1st load file!");

    ASSERT_TRUE(viewer.open(three_byte_file()));
    ViewParams p;
    p.data = &THREE_BYTES;
    ASSERT_TRUE(viewer.wait_picture(expected_picture(p), "save_loaded"));

    auto save_binary = [&](const char* count) { return viewer.save_binary(count, target); };

    // The first pattern ("Binary") appends ".bin".
    ASSERT_TRUE(save_binary("3"));
    ASSERT_TRUE(wait_until([&] { return file_exists(target + ".bin"); }));
    EXPECT_EQ(read_file(target + ".bin"), THREE_BYTES);

    // With Invert on the save is complemented; No keeps the old file.
    viewer.click(INVERT_BOX);
    ASSERT_TRUE(wait_until([&] { return viewer.checked(INVERT_BOX); }));
    ASSERT_TRUE(save_binary("3"));
    EXPECT_EQ(viewer.answer_message("save binary", IDNO), "Overwrite this file? " + target + ".bin");
    EXPECT_EQ(read_file(target + ".bin"), THREE_BYTES);

    uint64_t before = write_time(target + ".bin");
    ASSERT_TRUE(save_binary("3"));
    EXPECT_EQ(viewer.answer_message("save binary", IDYES), "Overwrite this file? " + target + ".bin");
    const std::vector<uint8_t> inverted{0x7F, 0xFE, 0x00};
    EXPECT_TRUE(wait_until([&] { return saved_since(target + ".bin", before); }));
    EXPECT_EQ(read_file(target + ".bin"), inverted);

    // A count beyond the data writes only bytes inside it.
    viewer.click(INVERT_BOX);
    ASSERT_TRUE(wait_until([&] { return !viewer.checked(INVERT_BOX); }));
    before = write_time(target + ".bin");
    ASSERT_TRUE(save_binary("10"));
    EXPECT_EQ(viewer.answer_message("save binary", IDYES), "Overwrite this file? " + target + ".bin");
    EXPECT_TRUE(wait_until([&] { return saved_since(target + ".bin", before); }));
    const auto longer = read_file(target + ".bin");
    ASSERT_TRUE(longer);
    EXPECT_TRUE(longer->size() <= 10 && longer->size() >= 3 &&
                std::equal(THREE_BYTES.begin(), THREE_BYTES.end(), longer->begin()))
        << "the first three bytes are the data, nothing from outside it";
    for (size_t i = 3; i < longer->size(); ++i) EXPECT_EQ((*longer)[i], 0) << "byte " << i;

    // The range starts at row position x width + offset.
    viewer.scroll_line(WIDTH_BAR);
    p.width = 2;
    ASSERT_TRUE(viewer.wait_title(expected_title(p)));
    viewer.select_all(OFFSET_SPIN);
    viewer.type(OFFSET_SPIN, '1');
    p.offset = 1;
    ASSERT_TRUE(viewer.wait_title(expected_title(p)));
    before = write_time(target + ".bin");
    ASSERT_TRUE(save_binary("2"));
    EXPECT_EQ(viewer.answer_message("save binary", IDYES), "Overwrite this file? " + target + ".bin");
    const std::vector<uint8_t> tail{0x01, 0xFF};
    EXPECT_TRUE(wait_until([&] { return saved_since(target + ".bin", before); }));
    EXPECT_EQ(read_file(target + ".bin"), tail);

    // A file that cannot be replaced: a message, and the old file stays.
    HANDLE lock = CreateFileA((target + ".bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(save_binary("3"));
    EXPECT_EQ(viewer.answer_message("save binary", IDYES), "Overwrite this file? " + target + ".bin");
    EXPECT_EQ(viewer.answer_message("save binary", IDOK), "Cannot save binary: " + target + ".bin");
    CloseHandle(lock);
    EXPECT_EQ(read_file(target + ".bin"), tail);

    // The program still runs and quits normally.
    viewer.menu(MENU_QUIT);
    EXPECT_EQ(viewer.exit_code(), 0u);
}

// The marker segments of a JPEG up to the first frame header.
struct JpegFrame {
    bool found = false;
    int precision = 0, height = 0, width = 0, components = 0;
};

JpegFrame read_jpeg_frame(const std::vector<uint8_t>& bytes)
{
    JpegFrame frame;
    if (bytes.size() < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) return frame;
    size_t at = 2;
    while (at + 4 <= bytes.size()) {
        if (bytes[at] != 0xFF) return frame;
        const uint8_t marker = bytes[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        const size_t length = (static_cast<size_t>(bytes[at + 2]) << 8) | bytes[at + 3];
        if (marker == 0xC0) {
            if (at + 2 + length > bytes.size() || length < 8) return frame;
            frame.found = true;
            frame.precision = bytes[at + 4];
            frame.height = (bytes[at + 5] << 8) | bytes[at + 6];
            frame.width = (bytes[at + 7] << 8) | bytes[at + 8];
            frame.components = bytes[at + 9];
            return frame;
        }
        if (marker == 0xD9 || marker == 0xDA) return frame;
        at += 2 + length;
    }
    return frame;
}

TEST(viewer, SavesTheViewAsJpeg)
{
    const std::string target = data_dir() + "\\view";
    DeleteFileA((target + ".jpg").c_str());
    Viewer viewer;
    ASSERT_TRUE(viewer.start());
    ASSERT_TRUE(viewer.wait_title("Bitloupe, sprsize:1 disp:0 zoom:1"));
    viewer.menu(MENU_SAVE_IMAGE);
    ASSERT_TRUE(viewer.answer_file_dialog("Save jpg Image...", target));
    std::optional<std::vector<uint8_t>> bytes;
    ASSERT_TRUE(wait_until([&] {
        bytes = read_file(target + ".jpg");
        return bytes && bytes->size() > 4 && (*bytes)[bytes->size() - 2] == 0xFF && bytes->back() == 0xD9;
    })) << "no complete JPEG file";
    const JpegFrame frame = read_jpeg_frame(*bytes);
    EXPECT_TRUE(frame.found);
    EXPECT_EQ(frame.precision, 8);
    EXPECT_EQ(frame.width, VIEW_WIDTH);
    EXPECT_EQ(frame.height, VIEW_HEIGHT);
    EXPECT_EQ(frame.components, 3);

    // Decoded, the file shows what the canvas shows, within JPEG's error.
    const Picture shown = expected_picture(ViewParams{});
    EXPECT_TRUE(viewer.wait_picture(shown, "jpeg_view"));
    const std::vector<uint8_t> rgb = decode_jpeg_rgb(*bytes);
    ASSERT_EQ(rgb.size(), static_cast<size_t>(VIEW_WIDTH) * VIEW_HEIGHT * 3);
    double error = 0;
    for (size_t i = 0; i < shown.size(); ++i)
        for (int c = 0; c < 3; ++c) {
            const int expected = static_cast<int>((shown[i] >> (16 - 8 * c)) & 0xFF);
            error += std::abs(expected - static_cast<int>(rgb[i * 3 + static_cast<size_t>(c)]));
        }
    EXPECT_LT(error / static_cast<double>(rgb.size()), 3.0) << "mean error per channel";
    const uint8_t* strip = &rgb[(static_cast<size_t>(240) * VIEW_WIDTH + 4) * 3];
    EXPECT_TRUE(strip[0] < 60 && strip[1] < 60 && strip[2] > 200) << "the blue strip";

    // Saving over it asks first, titled after the canvas; No keeps the file.
    const auto size_before = bytes->size();
    viewer.menu(MENU_SAVE_IMAGE);
    ASSERT_TRUE(viewer.answer_file_dialog("Save jpg Image...", target));
    EXPECT_EQ(viewer.answer_message("CanvasGadget", IDNO), "Overwrite this file? " + target + ".jpg");
    EXPECT_EQ(read_file(target + ".jpg")->size(), size_before);

    PostMessageA(viewer.main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(viewer.exit_code(), 0u);
}

TEST(viewer, EndsWithExitCodeOneWhenAFileCannotBeOpened)
{
    const std::string path = data_dir() + "\\locked.bin";
    write_file(path, THREE_BYTES);
    // Held open without sharing, the file exists but cannot be opened.
    HANDLE lock = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    Viewer viewer;
    ASSERT_TRUE(viewer.start());
    EXPECT_TRUE(viewer.open(path));
    EXPECT_EQ(viewer.answer_message("Information", IDOK), "Couldn't open the file!");
    EXPECT_EQ(viewer.exit_code(), 1u);
    CloseHandle(lock);
}

TEST(viewer, QuitAndTheCloseBoxEndWithExitCodeZero)
{
    {
        Viewer viewer;
        ASSERT_TRUE(viewer.start());
        ASSERT_TRUE(viewer.open(three_byte_file()));
        viewer.menu(MENU_QUIT);
        EXPECT_EQ(viewer.exit_code(), 0u);
    }
    {
        Viewer viewer;
        ASSERT_TRUE(viewer.start());
        PostMessageA(viewer.main(), WM_CLOSE, 0, 0);
        EXPECT_EQ(viewer.exit_code(), 0u);
    }
}

}  // namespace
