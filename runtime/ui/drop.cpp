// drop.cpp: the OLE drop target of windows and gadgets, and reading a drop.
#include "drop.h"

#include <ole2.h>

#include <cstring>
#include <new>

#include "drop_list.h"
#include "events.h"
#include "heap.h"
#include "strings.h"
#include "window.h"

namespace {

// A format the target accepts and the actions it accepts it with.
struct FormatEntry {
    FormatEntry* next;
    FormatEntry* previous;
    int32_t format;
    int32_t actions;
};

// The private drag format of in-process dragging; this program registers no
// private types, so the target never matches it.
constexpr int32_t PRIVATE_DRAG_FORMAT = 0x200;

enum DragState : int32_t { DRAG_NOTHING = 0, DRAG_FORMAT = 1, DRAG_PRIVATE_TYPE = 2 };

constexpr DWORD DROP_KEYS = MK_SHIFT | MK_CONTROL | MK_ALT;

// A drop record posted to a window and not yet taken by its window procedure,
// with the message that carries it.
struct PostedDrop {
    DropRecord* record;
    HWND window;
    UINT message;
    WPARAM wparam;
};

// The posted records of this process. A drop waits in the queue only until the
// next dispatch, so a few entries are plenty; a drop that finds the list full
// is refused like one that could not be posted.
PostedDrop g_posted_drops[POSTED_DROP_LIMIT];
int32_t g_posted_drop_count = 0;

bool remember_posted_drop(const PostedDrop& drop)
{
    if (g_posted_drop_count == POSTED_DROP_LIMIT) return false;
    g_posted_drops[g_posted_drop_count++] = drop;
    return true;
}

// Takes the entry at `index` out of the list (the order does not matter).
DropRecord* forget_posted_drop(int32_t index)
{
    DropRecord* record = g_posted_drops[index].record;
    g_posted_drops[index] = g_posted_drops[--g_posted_drop_count];
    g_posted_drops[g_posted_drop_count] = PostedDrop{};
    return record;
}

void free_record(DropRecord* record)
{
    if (!record) return;
    main_free(record->data);
    main_free(record);
}

DWORD choose_drop_effect(DWORD key_state, DWORD actions, DWORD allowed)
{
    const DWORD common = actions & allowed;
    const DWORD keys = key_state & DROP_KEYS;
    if ((common & DROPEFFECT_LINK) && (keys == (MK_CONTROL | MK_SHIFT) || keys == MK_ALT)) return DROPEFFECT_LINK;
    if ((common & DROPEFFECT_MOVE) && (keys == MK_SHIFT || !(common & DROPEFFECT_COPY))) return DROPEFFECT_MOVE;
    if (common & DROPEFFECT_COPY) return DROPEFFECT_COPY;
    return common & DROPEFFECT_LINK;
}

FORMATETC format_request(int32_t format)
{
    return FORMATETC{static_cast<CLIPFORMAT>(format), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
}

void free_entries(FormatEntry* entry)
{
    while (entry) {
        FormatEntry* next = entry->next;
        main_free(entry);
        entry = next;
    }
}

// The interface table comes first, then the fields in their documented order.
struct DropTarget final : IDropTarget {
    LONG reference_count = 1;
    int32_t gadget_kind = 0;
    int32_t object_number = 0;
    HWND window = nullptr;
    int32_t highlighted_item = -1;
    FormatEntry* accepted_formats = nullptr;
    FormatEntry* accepted_private_types = nullptr;
    int32_t state = DRAG_NOTHING;
    int32_t matched_format = 0;
    int32_t reported_format = 0;
    int32_t matched_actions = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** result) override
    {
        if (!result) return E_INVALIDARG;
        if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IDropTarget)) {
            *result = static_cast<IDropTarget*>(this);
            AddRef();
            return S_OK;
        }
        *result = nullptr;
        return E_NOINTERFACE;
    }

    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++reference_count); }

    ULONG STDMETHODCALLTYPE Release() override
    {
        LONG count = --reference_count;
        if (count == 0) {
            free_entries(accepted_formats);
            free_entries(accepted_private_types);
            this->~DropTarget();
            main_free(this);
        }
        return static_cast<ULONG>(count);
    }

    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD key_state, POINTL point, DWORD* effect) override
    {
        if (!effect) return E_INVALIDARG;
        state = DRAG_NOTHING;
        reported_format = 0;
        for (FormatEntry* entry = accepted_formats; entry && data; entry = entry->next) {
            if (!(static_cast<DWORD>(entry->actions) & *effect)) continue;
            FORMATETC request = format_request(entry->format);
            if (data->QueryGetData(&request) == S_OK) {
                state = DRAG_FORMAT;
                matched_format = reported_format = entry->format;
                matched_actions = entry->actions;
                break;
            }
        }
        return DragOver(key_state, point, effect);
    }

    HRESULT STDMETHODCALLTYPE DragOver(DWORD key_state, POINTL, DWORD* effect) override
    {
        if (!effect) return E_INVALIDARG;
        *effect = state != DRAG_NOTHING ? choose_drop_effect(key_state, static_cast<DWORD>(matched_actions), *effect)
                                        : DROPEFFECT_NONE;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }

    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD key_state, POINTL point, DWORD* effect) override
    {
        if (!effect) return E_INVALIDARG;
        DragOver(key_state, point, effect);
        POINT client{point.x, point.y};
        ScreenToClient(window, &client);
        if (*effect == DROPEFFECT_NONE) return S_OK;

        DropRecord* record = state == DRAG_FORMAT && data ? copy_drop(data) : nullptr;
        if (record) {
            record->effect = static_cast<int32_t>(*effect);
            record->x = client.x;
            record->y = client.y;
            const bool gadget = gadget_kind != 0;
            HWND receiver = gadget ? GetAncestor(window, GA_ROOT) : window;
            UINT message = gadget ? GADGET_DROP_MESSAGE : WINDOW_DROP_MESSAGE;
            if (!post_drop_record(receiver, message, static_cast<WPARAM>(object_number), record)) {
                free_record(record);
                record = nullptr;
            }
        }
        if (!record) *effect = DROPEFFECT_NONE;
        return S_OK;
    }

    // A record holding a heap copy of the matched format's data, or null.
    DropRecord* copy_drop(IDataObject* data)
    {
        FORMATETC request = format_request(matched_format);
        STGMEDIUM medium{};
        if (data->GetData(&request, &medium) != S_OK) return nullptr;
        DropRecord* record = nullptr;
        if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal) {
            SIZE_T size = GlobalSize(medium.hGlobal);
            void* source = size <= INT32_MAX ? GlobalLock(medium.hGlobal) : nullptr;
            if (source) {
                record = static_cast<DropRecord*>(main_alloc(sizeof(DropRecord)));
                void* copy = record ? main_alloc(size ? size : 1) : nullptr;
                if (copy) {
                    std::memcpy(copy, source, size);
                    record->format = matched_format;
                    record->data = copy;
                    record->size = static_cast<int32_t>(size);
                } else {
                    main_free(record);
                    record = nullptr;
                }
                GlobalUnlock(medium.hGlobal);
            }
        }
        ReleaseStgMedium(&medium);
        return record;
    }
};

DropTarget* find_target(HWND window) { return static_cast<DropTarget*>(GetPropA(window, DROP_ACCEPT_PROPERTY)); }

FormatEntry* find_entry(DropTarget* target, int32_t format)
{
    for (FormatEntry* entry = target->accepted_formats; entry; entry = entry->next)
        if (entry->format == format) return entry;
    return nullptr;
}

void withdraw_format(HWND window, int32_t format)
{
    DropTarget* target = find_target(window);
    if (!target) return;
    if (FormatEntry* entry = find_entry(target, format)) {
        if (entry->previous)
            entry->previous->next = entry->next;
        else
            target->accepted_formats = entry->next;
        if (entry->next) entry->next->previous = entry->previous;
        main_free(entry);
    }
    // The registration holds the last reference: revoking frees the target.
    if (!target->accepted_formats && !target->accepted_private_types) {
        RemovePropA(window, DROP_ACCEPT_PROPERTY);
        RevokeDragDrop(window);
    }
}

void accept_format(HWND window, int32_t gadget_kind, int32_t number, int32_t format, int32_t actions)
{
    DropTarget* target = find_target(window);
    if (!target) {
        void* storage = main_alloc(sizeof(DropTarget));
        if (!storage) return;
        target = new (storage) DropTarget;
        target->gadget_kind = gadget_kind;
        target->object_number = number;
        target->window = window;
        HRESULT result = RegisterDragDrop(window, target);
        if (result == DRAGDROP_E_ALREADYREGISTERED) {
            // A registration left from a foreign target: ours replaces it.
            RevokeDragDrop(window);
            result = RegisterDragDrop(window, target);
        }
        if (result != S_OK) {
            target->Release();
            return;
        }
        SetPropA(window, DROP_ACCEPT_PROPERTY, static_cast<HANDLE>(target));
        target->Release();
    }
    if (FormatEntry* entry = find_entry(target, format)) {
        entry->actions = actions;
        return;
    }
    auto* entry = static_cast<FormatEntry*>(main_alloc(sizeof(FormatEntry)));
    if (!entry) return;
    entry->format = format;
    entry->actions = actions;
    entry->next = target->accepted_formats;
    if (entry->next) entry->next->previous = entry;
    target->accepted_formats = entry;
}

void enable_drop(HWND window, int32_t gadget_kind, int32_t number, int32_t format, int32_t actions)
{
    if (!window || format == 0) return;
    if (actions == 0)
        withdraw_format(window, format);
    else
        accept_format(window, gadget_kind, number, format, actions);
}

// One character of a wide file name in the ANSI code page; the code page's
// default character stands for one it cannot show.
int32_t ansi_character(const char16_t* units, int32_t count, char* out)
{
    wchar_t wide[2] = {};
    for (int32_t i = 0; i < count && i < 2; ++i) wide[i] = static_cast<wchar_t>(units[i]);
    int written = WideCharToMultiByte(CP_ACP, 0, wide, count < 2 ? count : 2, out, DROP_CHARACTER_BYTES, nullptr,
                                      nullptr);
    if (written > 0) return written;
    out[0] = '?';
    return 1;
}

}  // namespace

void init_drop() { OleInitialize(nullptr); }

void end_drop()
{
    OleUninitialize();
    while (g_posted_drop_count > 0) free_record(forget_posted_drop(g_posted_drop_count - 1));
}

bool post_drop_record(HWND window, UINT message, WPARAM wparam, DropRecord* record)
{
    if (!record) return false;
    // Listed before the post: the receiver accepts only listed records.
    const PostedDrop posted{record, window, message, wparam};
    if (!remember_posted_drop(posted)) return false;
    if (PostMessageA(window, message, wparam, reinterpret_cast<LPARAM>(record))) return true;
    claim_posted_drop(window, message, wparam, reinterpret_cast<LPARAM>(record));
    return false;
}

DropRecord* claim_posted_drop(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    // Compared as values only: a forged lParam is never dereferenced.
    for (int32_t i = 0; i < g_posted_drop_count; ++i) {
        const PostedDrop& drop = g_posted_drops[i];
        if (reinterpret_cast<LPARAM>(drop.record) == lparam && drop.window == window && drop.message == message &&
            drop.wparam == wparam)
            return forget_posted_drop(i);
    }
    return nullptr;
}

void enable_window_drop(int32_t window, int32_t format, int32_t actions)
{
    enable_drop(window_handle(window), 0, window, format, actions);
}

void enable_control_drop(HWND window, int32_t gadget_kind, int32_t number, int32_t format, int32_t actions)
{
    enable_drop(window, gadget_kind, number, format, actions);
}

void release_window_drop(HWND window)
{
    if (RemovePropA(window, DROP_ACCEPT_PROPERTY)) RevokeDragDrop(window);
    // The system discards messages posted to a destroyed window: the records
    // of our own posts among them end here; forged ones own nothing.
    MSG message;
    while (PeekMessageA(&message, window, WINDOW_DROP_MESSAGE, GADGET_DROP_MESSAGE, PM_REMOVE))
        free_record(claim_posted_drop(message.hwnd, message.message, message.wParam, message.lParam));
}

void event_drop_files(int32_t position)
{
    set_string_position(position);
    EventState* state = event_state();
    if (!state || (state->current_code != EVENT_WINDOW_DROP && state->current_code != EVENT_GADGET_DROP)) return;
    const DropRecord* record = state->pending_drop_record;
    if (!record || !record->data || record->format != CF_HDROP) return;
    // The block came from another program: the list reader checks it and never
    // reads past its size. One pass measures, the second writes.
    const int64_t size = record->size;
    const int64_t length = read_drop_list(record->data, size, ansi_character, nullptr, 0);
    char* out = length > 0 && length < INT32_MAX ? reserve_string_space(static_cast<int32_t>(length) + 1, position)
                                                 : nullptr;
    if (!out) {
        set_string_position(position);
        return;
    }
    const int64_t written = read_drop_list(record->data, size, ansi_character, out, length);
    set_string_position(position + static_cast<int32_t>(written < length ? written : length));
}
