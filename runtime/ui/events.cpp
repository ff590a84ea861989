// events.cpp: the event queue, the event state and the wait for events.
#include "events.h"

#include "heap.h"
#include "pool.h"
#include "registry.h"
#include "window_procedure.h"

namespace {

struct QueuedEvent {
    QueuedEvent* next;
    int32_t code;
    int32_t object;
    int32_t window;
    int32_t type;
    void* data;
    EventReleaseOperation release;
};

struct EventQueue {
    BlockPool* pool;
    QueuedEvent* head;  // oldest entry
    QueuedEvent* tail;  // newest entry
};

// One of each per process; reached only through the functions below so that
// they could become per-thread without touching the callers.
EventQueue* g_queue = nullptr;
EventState* g_state = nullptr;

constexpr int32_t QUEUE_MINIMUM_CHUNK = 16;
constexpr int32_t QUEUE_MAXIMUM_CHUNK = 256;
constexpr uint32_t QUEUE_POOL_FLAGS = POOL_UNLOCKED;  // private: one thread uses it
// Every kind of input and message wakes a wait.
constexpr DWORD WAKE_MASK = QS_KEY | QS_MOUSEMOVE | QS_MOUSEBUTTON | QS_POSTMESSAGE | QS_TIMER | QS_PAINT |
                            QS_SENDMESSAGE | QS_HOTKEY | QS_ALLPOSTMESSAGE;

void release_data(void* data, EventReleaseOperation release)
{
    if (data && release) release(data);
}

bool matches(const QueuedEvent* entry, int32_t code, int32_t object, int32_t window, int32_t type)
{
    return (code == -1 || entry->code == code) && (object == -1 || entry->object == object) &&
           (window == -1 || entry->window == window) && (type == -1 || entry->type == type);
}

// Unlinks the matching entries first and releases them afterwards, so that a
// release operation that touches the queue never sees it half walked.
template <typename Match>
void remove_matching(Match match)
{
    EventQueue* queue = g_queue;
    if (!queue) return;
    QueuedEvent* removed = nullptr;
    QueuedEvent** removed_tail = &removed;
    QueuedEvent* previous = nullptr;
    QueuedEvent* entry = queue->head;
    while (entry) {
        QueuedEvent* next = entry->next;
        if (match(entry)) {
            if (previous)
                previous->next = next;
            else
                queue->head = next;
            if (queue->tail == entry) queue->tail = previous;
            entry->next = nullptr;
            *removed_tail = entry;
            removed_tail = &entry->next;
        } else {
            previous = entry;
        }
        entry = next;
    }
    while (removed) {
        QueuedEvent* next = removed->next;
        void* data = removed->data;
        EventReleaseOperation release = removed->release;
        pool_free(queue->pool, removed);
        // A removed event never reaches the application, so its data ends here.
        release_data(data, release);
        removed = next;
    }
}

// Takes one native message; false when none arrived within the limit.
bool get_native_message(MSG* message, int32_t milliseconds)
{
    if (milliseconds < 0) {
        // A failure or WM_QUIT is delivered like any other message.
        GetMessageA(message, nullptr, 0, 0);
        return true;
    }
    if (PeekMessageA(message, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD)) return true;
    if (milliseconds == 0) return false;
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(milliseconds), WAKE_MASK) ==
        WAIT_TIMEOUT)
        return false;
    return PeekMessageA(message, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD) != 0;
}

}  // namespace

void init_event_queue()
{
    if (g_queue) return;
    auto* queue = static_cast<EventQueue*>(create_library_state(sizeof(EventQueue), nullptr, nullptr));
    if (!queue) return;
    queue->pool = create_block_pool(sizeof(QueuedEvent), QUEUE_MINIMUM_CHUNK, QUEUE_MAXIMUM_CHUNK,
                                    QUEUE_POOL_FLAGS);
    // One element that is never returned keeps the first chunk alive, so that
    // a queue that keeps emptying does not give its chunk back every time.
    pool_allocate(queue->pool);
    g_queue = queue;
}

void init_event_state()
{
    if (!g_state)
        g_state = static_cast<EventState*>(create_library_state(sizeof(EventState), nullptr, nullptr));
}

EventState* event_state() { return g_state; }

void free_pending_drop_record()
{
    EventState* state = g_state;
    if (!state || !state->pending_drop_record) return;
    DropRecord* record = state->pending_drop_record;
    state->pending_drop_record = nullptr;
    main_free(record->data);
    main_free(record);
}

int32_t wait_event() { return wait_event_timeout(-1); }

int32_t wait_event_timeout(int32_t milliseconds)
{
    EventState* state = g_state;
    EventQueue* queue = g_queue;
    if (!state || !queue) return 0;

    // The previous event's data lives until this point.
    if (state->current_data && state->current_release) {
        void* data = state->current_data;
        EventReleaseOperation release = state->current_release;
        state->current_data = nullptr;
        state->current_release = nullptr;
        release(data);
    }
    free_pending_drop_record();

    // Clearing the direct slot here drops a direct event produced while no
    // wait was dispatching; queued events survive.
    state->pending_type = -1;
    state->pending_code = 0;
    state->pending_data = nullptr;
    state->pending_release = nullptr;

    int32_t result;
    if (QueuedEvent* entry = queue->head) {
        queue->head = entry->next;
        if (!queue->head) queue->tail = nullptr;
        state->pending_object = entry->object;
        state->pending_window = entry->window;
        state->pending_type = entry->type;
        state->pending_data = entry->data;
        state->pending_release = entry->release;
        state->pending_code = entry->code;
        state->pending_wparam = 0;
        state->pending_lparam = 0;
        result = entry->code;
        pool_free(queue->pool, entry);
    } else {
        MSG message{};
        if (!get_native_message(&message, milliseconds)) return 0;
        HACCEL table = choose_accelerator_table();
        if (!table || !TranslateAcceleratorA(GetActiveWindow(), table, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (state->pending_code) {
            result = state->pending_code;
            state->pending_code = 0;
        } else if (message.message == WINDOW_DROP_MESSAGE || message.message == GADGET_DROP_MESSAGE) {
            // A drop message the window procedure refused (not posted by our
            // own drop target) is nothing: its raw number reads as a drop event.
            result = 0;
            state->pending_wparam = 0;
            state->pending_lparam = 0;
        } else {
            result = static_cast<int32_t>(message.message);
            state->pending_wparam = message.wParam;
            state->pending_lparam = message.lParam;
        }
    }

    state->current_object = state->pending_object;
    state->current_window = state->pending_window;
    state->current_type = state->pending_type;
    state->current_code = result;
    state->current_wparam = state->pending_wparam;
    state->current_lparam = state->pending_lparam;
    state->current_data = state->pending_data;
    state->current_release = state->pending_release;
    return result;
}

int32_t event_gadget() { return g_state ? g_state->current_object : 0; }
int32_t event_menu() { return g_state ? g_state->current_object : 0; }
int32_t event_type() { return g_state ? g_state->current_type : 0; }

void post_event(int32_t code, int32_t object, int32_t window, int32_t type)
{
    post_event_with_data(code, object, window, type, nullptr, nullptr);
}

void post_event_with_data(int32_t code, int32_t object, int32_t window, int32_t type, void* data,
                          EventReleaseOperation release)
{
    EventQueue* queue = g_queue;
    if (!queue) {
        release_data(data, release);
        return;
    }
    // Bursts of equal events (repaints, sizes, moves) collapse into the newest
    // entry, which keeps its own data; the duplicate's data is freed now
    // unless it is the very block the entry already holds.
    QueuedEvent* tail = queue->tail;
    if (tail && tail->code == code && tail->object == object && tail->window == window &&
        tail->type == type) {
        if (data != tail->data) release_data(data, release);
        return;
    }
    auto* entry = static_cast<QueuedEvent*>(pool_allocate(queue->pool));
    if (!entry) {
        release_data(data, release);
        return;
    }
    entry->next = nullptr;
    entry->code = code;
    entry->object = object;
    entry->window = window;
    entry->type = type;
    entry->data = data;
    entry->release = release;
    if (tail)
        tail->next = entry;
    else
        queue->head = entry;
    queue->tail = entry;
}

void remove_events(int32_t code, int32_t object, int32_t window, int32_t type)
{
    remove_matching([=](const QueuedEvent* entry) { return matches(entry, code, object, window, type); });
}

void remove_window_events(int32_t window)
{
    remove_matching([=](const QueuedEvent* entry) { return entry->window == window; });
}

void flush_native_messages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    if (g_state) g_state->pending_code = 0;
}
