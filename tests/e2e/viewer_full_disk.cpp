// viewer_full_disk.cpp: saves onto a volume with no room left. Run by
// viewer_full_disk.sh, which mounts a small volume, puts an old "old.bin" and
// "old.jpg" on it, fills it, and names it in VIEWER_FULL_DIR; VIEWER_FULL_DATA
// names a file elsewhere to load.
#include "viewer_support.h"

#include <cstdlib>

namespace {

using namespace viewer_e2e;

std::vector<std::string> names_in(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

TEST(viewer_full_disk, FailedSavesKeepTheOldFiles)
{
    const char* full = std::getenv("VIEWER_FULL_DIR");
    const char* data_path = std::getenv("VIEWER_FULL_DATA");
    ASSERT_TRUE(full && data_path) << "run through viewer_full_disk.sh";
    const std::string folder = windows_path(full);
    const auto old_binary = read_file(folder + "\\old.bin");
    const auto old_image = read_file(folder + "\\old.jpg");
    ASSERT_TRUE(old_binary && old_image);
    const auto names = names_in(folder);

    Viewer viewer;
    ASSERT_TRUE(viewer.start());
    ASSERT_TRUE(viewer.open(windows_path(data_path)));
    ASSERT_TRUE(wait_until([&] { return viewer.title().rfind("Bitloupe, sprsize:1 ", 0) == 0; }));

    ASSERT_TRUE(viewer.save_binary("200000", folder + "\\old"));
    EXPECT_EQ(viewer.answer_message("save binary", IDYES), "Overwrite this file? " + folder + "\\old.bin");
    EXPECT_EQ(viewer.answer_message("save binary", IDOK), "Cannot save binary: " + folder + "\\old.bin");

    viewer.menu(MENU_SAVE_IMAGE);
    ASSERT_TRUE(viewer.answer_file_dialog("Save jpg Image...", folder + "\\old"));
    EXPECT_EQ(viewer.answer_message("CanvasGadget", IDYES), "Overwrite this file? " + folder + "\\old.jpg");
    EXPECT_EQ(viewer.answer_message("CanvasGadget", IDOK), "Cannot save image: " + folder + "\\old.jpg");

    // The old files are whole and nothing was left behind.
    EXPECT_EQ(read_file(folder + "\\old.bin"), old_binary);
    EXPECT_EQ(read_file(folder + "\\old.jpg"), old_image);
    EXPECT_EQ(names_in(folder), names);
    viewer.menu(MENU_QUIT);
    EXPECT_EQ(viewer.exit_code(), 0u);
}

}  // namespace
