// viewer_drop.cpp: files dropped onto the viewer from a native X drag source.
// Run by viewer_drop.sh, which makes the files, waits for the line "target X Y"
// that a case writes to the file named by VIEWER_DROP_SIGNAL, and then drags
// the files (or a folder) from a GTK window onto that point (again, until the
// case has written "loaded" or gives up).
#include "viewer_support.h"

namespace {

using namespace viewer_e2e;

void signal(const std::string& path, const std::string& line)
{
    std::ofstream out(path, std::ios::app);
    out << line << "\n";
}

TEST(viewer_drop, LoadsOnlyTheFirstOfThreeDroppedFiles)
{
    const char* signal_file = std::getenv("VIEWER_DROP_SIGNAL");
    const char* first_file = std::getenv("VIEWER_DROP_FIRST");
    ASSERT_TRUE(signal_file && first_file) << "run through viewer_drop.sh";
    const auto first = read_file(windows_path(first_file));
    ASSERT_TRUE(first && !first->empty());

    Viewer viewer;
    ASSERT_TRUE(viewer.start());
    ViewParams p;
    ASSERT_TRUE(viewer.wait_title(expected_title(p)));
    POINT centre{VIEW_WIDTH / 2, VIEW_HEIGHT / 2};
    ClientToScreen(viewer.main(), &centre);
    signal(windows_path(signal_file), "target " + std::to_string(centre.x) + " " + std::to_string(centre.y));

    // The drop loads the first file only: the view shows its bytes (the other
    // files have different contents and lengths).
    p.data = &*first;
    const Picture expected = expected_picture(p);
    const bool loaded = wait_until([&] { return viewer.screenshot() == expected; }, 90000);
    signal(windows_path(signal_file), loaded ? "loaded" : "gave up");
    EXPECT_TRUE(viewer.wait_picture(expected, "drop"));
    EXPECT_TRUE(viewer.wait_title(expected_title(p)));

    PostMessageA(viewer.main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(viewer.exit_code(), 0u);
}

// A dropped folder cannot be read: a message, then the program ends with 1.
TEST(viewer_drop, FolderEndsWithExitCodeOne)
{
    const char* signal_file = std::getenv("VIEWER_DROP_SIGNAL");
    ASSERT_TRUE(signal_file) << "run through viewer_drop.sh";
    Viewer viewer;
    ASSERT_TRUE(viewer.start());
    ASSERT_TRUE(viewer.wait_title(expected_title(ViewParams{})));
    POINT centre{VIEW_WIDTH / 2, VIEW_HEIGHT / 2};
    ClientToScreen(viewer.main(), &centre);
    signal(windows_path(signal_file), "target " + std::to_string(centre.x) + " " + std::to_string(centre.y));

    HWND box = nullptr;
    wait_until([&] { return (box = viewer.top_level("#32770", "Information")) != nullptr || viewer.exited(); },
               90000);
    signal(windows_path(signal_file), box ? "loaded" : "gave up");
    ASSERT_NE(box, nullptr) << "no message after the drop";
    EXPECT_EQ(viewer.answer_message("Information", IDOK), "Couldn't open the file!");
    EXPECT_EQ(viewer.exit_code(), 1u);
}

}  // namespace
