// Tests of the event queue and the wait: order, collapsing, removal, the
// lifetime of event data, polling, direct events and drop records.
#include <gtest/gtest.h>

#include "drop.h"
#include "events.h"
#include "heap.h"
#include "ui_support.h"
#include "window.h"

namespace {

constexpr int32_t A = 0x7101, B = 0x7102;

// Event data that counts its releases.
struct Payload {
    int releases = 0;
};
void release_payload(void* data) { ++static_cast<Payload*>(data)->releases; }

DropRecord* make_drop_record()
{
    auto* record = static_cast<DropRecord*>(main_alloc(sizeof(DropRecord)));
    record->data = main_alloc(64);
    return record;
}

}  // namespace

TEST(EventQueue, KeepsOrderCollapsesDuplicatesOfTheNewestAndRemovesByKeys)
{
    drain_events();
    post_event(A, 1, 2, 3);
    post_event(A, 1, 2, 3);
    post_event(B, 1, 2, 3);
    post_event(A, 1, 2, 3);
    post_event(A, 1, 2, 4);
    EXPECT_EQ(drain_events(), (std::vector<Event>{{A, 1, 2, 3}, {B, 1, 2, 3}, {A, 1, 2, 3}, {A, 1, 2, 4}}));
    EXPECT_EQ(event_gadget(), event_menu());

    Payload removed;
    post_event(EVENT_GADGET, 5, 0, 0);
    post_event(EVENT_GADGET, 6, 0, 0);
    post_event_with_data(EVENT_GADGET, 5, 1, 7, &removed, release_payload);
    post_event(A, 5, 0, 0);
    post_event(B, 8, 3, 1);
    post_event(A, 8, 3, 0);
    post_event(B, 9, 4, 1);
    remove_events(EVENT_GADGET, 5, -1, -1);
    EXPECT_EQ(removed.releases, 1) << "a removed event's data goes with it";
    remove_events(-1, -1, 3, 1);
    remove_window_events(4);
    EXPECT_EQ(drain_events(), (std::vector<Event>{{EVENT_GADGET, 6, 0, 0}, {A, 5, 0, 0}, {A, 8, 3, 0}}));
    EXPECT_EQ(removed.releases, 1);
}

TEST(EventQueue, ReleasesDataOnceAtTheWaitAfterItsEventAndPollsWithoutChange)
{
    drain_events();
    Payload first, duplicate, same, last;
    post_event_with_data(A, 1, 0, 0, &first, release_payload);
    post_event_with_data(A, 1, 0, 0, &duplicate, release_payload);
    EXPECT_EQ(duplicate.releases, 1) << "a collapsed duplicate's data is released at once";
    post_event_with_data(B, 1, 0, 0, &same, release_payload);
    post_event_with_data(B, 1, 0, 0, &same, release_payload);
    EXPECT_EQ(same.releases, 0) << "the queued entry holds that very block";
    post_event_with_data(A, 7, 2, 3, &last, release_payload);

    EXPECT_EQ(wait_event_timeout(0), A);
    EXPECT_EQ(event_state()->current_data, &first);
    EXPECT_EQ(first.releases, 0);
    EXPECT_EQ(wait_event_timeout(0), B);
    EXPECT_EQ(first.releases, 1);
    EXPECT_EQ(wait_event_timeout(0), A);
    EXPECT_EQ(same.releases, 1);
    EXPECT_EQ(wait_event_timeout(0), 0);
    EXPECT_EQ(wait_event_timeout(10), 0);
    EXPECT_EQ(current_event(A), (Event{A, 7, 2, 3})) << "a wait that finds nothing keeps the current event";
    EXPECT_EQ(first.releases + duplicate.releases + same.releases + last.releases, 4);
}

TEST(Events, DirectEventsComeOnlyFromTheDispatchOfAWait)
{
    HWND window = open_test_window(2);
    ASSERT_TRUE(window);
    drain_events();
    // Outside a wait the direct menu event is dropped; the queued close event
    // survives, and the next message is reported as itself.
    SendMessageA(window, WM_COMMAND, 7, 0);
    SendMessageA(window, WM_CLOSE, 0, 0);
    PostMessageA(window, WM_APP, 0, 0);
    std::vector<Event> events = only(drain_events(), {EVENT_CLOSE, EVENT_MENU, WM_APP}, 2);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], (Event{EVENT_CLOSE, 2, 2, 0}));
    EXPECT_EQ(events[1].code, WM_APP);

    PostMessageA(window, WM_COMMAND, 7, 0);
    EXPECT_EQ(current_event(wait_event()), (Event{EVENT_MENU, 7, 2, -1}));
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(9, 1), 0);  // an accelerator's command
    EXPECT_EQ(current_event(wait_event_timeout(0)), (Event{EVENT_MENU, 9, 2, -1}));
    PostMessageA(window, WM_COMMAND, 8, 0);
    flush_native_messages();
    EXPECT_FALSE(contains(drain_events(), EVENT_MENU));

    ASSERT_NE(SetTimer(window, 42, 1, nullptr), 0u);
    events.clear();
    EXPECT_TRUE(pump_until([&] { return contains(events, EVENT_TIMER); }, &events));
    KillTimer(window, 42);
    EXPECT_EQ(events.back(), (Event{EVENT_TIMER, 42, 2, -1}));

    // A drop record lives until the next wait; two drops dispatched without a
    // wait between them leak neither record.
    drain_events();
    const size_t blocks = busy_heap_blocks();
    DropRecord* record = make_drop_record();
    ASSERT_TRUE(post_drop_record(window, WINDOW_DROP_MESSAGE, 0, record));
    EXPECT_EQ(wait_event_timeout(0), EVENT_WINDOW_DROP);
    EXPECT_EQ(event_state()->pending_drop_record, record);
    wait_event_timeout(0);
    EXPECT_EQ(event_state()->pending_drop_record, nullptr);
    post_drop_record(window, WINDOW_DROP_MESSAGE, 0, make_drop_record());
    post_drop_record(window, GADGET_DROP_MESSAGE, 4, make_drop_record());
    flush_native_messages();
    drain_events();
    EXPECT_EQ(busy_heap_blocks(), blocks);
    close_window(2);
}
