// viewer_forged_messages.cpp: messages whose lParam the viewer would read as a
// pointer, posted and sent by this (foreign) process with values that point
// nowhere or at memory the viewer does not own. The viewer keeps running, its
// title stays as it was, and it still answers a real action afterwards.
#include "viewer_support.h"

namespace {

using namespace viewer_e2e;

TEST(viewer_messages, ForgedPointerMessagesFromAnotherProcessAreIgnored)
{
    Viewer viewer;
    ASSERT_TRUE(viewer.start());
    ViewParams p;
    ASSERT_TRUE(viewer.shows(p, "before_forged"));
    int local = 0;  // an address valid in this process only
    for (LPARAM value : {LPARAM{0}, LPARAM{1}, LPARAM{0x1000}, static_cast<LPARAM>(0x4141414141414141),
                         reinterpret_cast<LPARAM>(&local)}) {
        // The two drop messages, the gadget parent message, and WM_NOTIFY and
        // WM_GETMINMAXINFO (the system may refuse to post these two).
        for (UINT message : {13105u, 13106u, 13120u, UINT{WM_NOTIFY}, UINT{WM_GETMINMAXINFO}})
            PostMessageA(viewer.main(), message, ROW_BAR, value);
        DWORD_PTR answer = 0;
        SendMessageTimeoutA(viewer.main(), WM_NOTIFY, ROW_BAR, value, SMTO_ABORTIFHUNG, WAIT_MS, &answer);
    }
    // Posted messages are taken in order: once the width step shows, all the
    // forged ones have been dispatched, and the title is exactly the step's.
    viewer.scroll_line(WIDTH_BAR);
    p.width = 2;
    EXPECT_TRUE(viewer.shows(p, "after_forged"));
    PostMessageA(viewer.main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(viewer.exit_code(), 0u) << "a crash ends with an exception code";
}

}  // namespace
