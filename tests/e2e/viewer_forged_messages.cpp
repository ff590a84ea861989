// viewer_forged_messages.cpp: messages whose parameters the viewer would read
// as pointers, posted and sent to it by this (foreign) process with values that
// point nowhere or at memory the viewer does not own. The viewer ignores them:
// it keeps running, its view and title stay as they were, and it still answers
// a real action afterwards.
#include "viewer_support.h"

namespace {

using namespace viewer_e2e;

constexpr UINT WINDOW_DROP = 13105;
constexpr UINT GADGET_DROP = 13106;
constexpr UINT GADGET_PARENT = 13120;

TEST(viewer_messages, ForgedPointerMessagesFromAnotherProcessAreIgnored)
{
    Viewer viewer;
    ASSERT_TRUE(viewer.start());
    ViewParams p;
    ASSERT_TRUE(viewer.shows(p, "before_forged"));
    HWND main = viewer.main();

    // Null, small, a page boundary, wild, and an address that is valid in this
    // process only.
    int local = 0;
    const LPARAM values[] = {0, 1, 0x1000, static_cast<LPARAM>(0x4141414141414141), reinterpret_cast<LPARAM>(&local)};
    int posted_notify = 0;
    int posted_minmax = 0;
    for (LPARAM value : values) {
        SCOPED_TRACE(value);
        EXPECT_TRUE(PostMessageA(main, WINDOW_DROP, 0, value));
        EXPECT_TRUE(PostMessageA(main, GADGET_DROP, ROW_BAR, value));
        EXPECT_TRUE(PostMessageA(main, GADGET_PARENT, 0, value));
        // The system may refuse to post these two (they carry pointers); what
        // it lets through must not reach the handlers.
        posted_notify += PostMessageA(main, WM_NOTIFY, WIDTH_BAR, value) ? 1 : 0;
        posted_minmax += PostMessageA(main, WM_GETMINMAXINFO, 0, value) ? 1 : 0;
        // A send from another process: the system passes WM_NOTIFY's value on
        // as it is (or drops the message).
        DWORD_PTR answer = 0;
        SendMessageTimeoutA(main, WM_NOTIFY, WIDTH_BAR, value, SMTO_ABORTIFHUNG, WAIT_MS, &answer);
        ASSERT_FALSE(viewer.exited()) << "the viewer ended on a forged message";
    }
    std::printf("posted WM_NOTIFY %d of %zu, WM_GETMINMAXINFO %d of %zu\n", posted_notify, std::size(values),
                posted_minmax, std::size(values));

    // Posted messages are taken in order: once the width step shows, every
    // forged message before it has been dispatched. The title is exactly the
    // one of the step from the default view (no load, no other change).
    viewer.scroll_line(WIDTH_BAR);
    p.width = 2;
    EXPECT_TRUE(viewer.shows(p, "after_forged"));
    EXPECT_FALSE(viewer.exited());

    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(viewer.exit_code(), 0u);
}

}  // namespace
