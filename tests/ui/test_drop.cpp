// test_drop.cpp: drops through the registered OLE drop target, with data
// objects of our own that offer a real CF_HDROP block (or only text).
#include <gtest/gtest.h>

#include <ole2.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "drop.h"
#include "gadget.h"
#include "heap.h"
#include "strings.h"
#include "ui_support.h"
#include "window.h"

namespace {

// A data object holding one block of one format, handed out as a fresh
// global copy on every GetData, as a drag source does.
class DataObject final : public IDataObject {
public:
    DataObject(CLIPFORMAT format, std::vector<char> bytes) : format_(format), bytes_(std::move(bytes)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** result) override
    {
        if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IDataObject)) {
            *result = this;
            return S_OK;
        }
        *result = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* request, STGMEDIUM* medium) override
    {
        if (QueryGetData(request) != S_OK) return DV_E_FORMATETC;
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes_.size());
        std::memcpy(GlobalLock(block), bytes_.data(), bytes_.size());
        GlobalUnlock(block);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = block;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* request) override
    {
        return request->cfFormat == format_ && (request->tymed & TYMED_HGLOBAL) ? S_OK : DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

private:
    CLIPFORMAT format_;
    std::vector<char> bytes_;
};

// A DROPFILES header followed by the paths, each ending in a zero, and the
// empty string that ends the list; wide as the shell writes it, or narrow.
std::vector<char> file_list(const std::vector<std::string>& paths, bool wide)
{
    std::vector<char> bytes(sizeof(DROPFILES));
    auto* header = reinterpret_cast<DROPFILES*>(bytes.data());
    header->pFiles = sizeof(DROPFILES);
    header->fWide = wide;
    for (const std::string& path : paths) {
        for (char c : path) {
            bytes.push_back(c);
            if (wide) bytes.push_back(0);
        }
        bytes.insert(bytes.end(), wide ? 2 : 1, 0);
    }
    bytes.insert(bytes.end(), wide ? 2 : 1, 0);
    return bytes;
}

IDropTarget* target_of(HWND window) { return static_cast<IDropTarget*>(GetPropA(window, "VX_DropAccept")); }

POINTL screen_point(HWND window, int x, int y)
{
    POINT point{x, y};
    ClientToScreen(window, &point);
    return {point.x, point.y};
}

// The effect after DragEnter with the allowed effects and the key state.
DWORD enter_effect(IDropTarget* target, IDataObject* data, DWORD allowed, DWORD keys = 0)
{
    DWORD effect = allowed;
    EXPECT_EQ(target->DragEnter(data, keys, POINTL{0, 0}, &effect), S_OK);
    target->DragLeave();
    return effect;
}

std::string dropped_files()
{
    int32_t position = string_position();
    event_drop_files(position);
    std::string text = string_at(position);
    set_string_position(position);
    return text;
}

// A target that only counts references, standing for a foreign registration.
class CountingTarget final : public IDropTarget {
public:
    LONG references = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** result) override
    {
        if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IDropTarget)) {
            *result = this;
            AddRef();
            return S_OK;
        }
        *result = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override
    {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override
    {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject*, DWORD, POINTL, DWORD* effect) override
    {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
};

class DropTest : public testing::Test {
protected:
    static void SetUpTestSuite() { init_drop(); }
    void TearDown() override { drain_events(); }
};

TEST_F(DropTest, DroppedFilesArriveAsOneEventWithTheirPaths)
{
    HWND window = open_test_window(31);
    enable_window_drop(31, CF_HDROP, DROPEFFECT_COPY);
    IDropTarget* target = target_of(window);
    ASSERT_NE(target, nullptr);
    drain_events();

    DataObject three(CF_HDROP, file_list({"C:\\data\\one.bin", "C:\\data\\two.bin", "D:\\x\\three files.rom"}, false));
    const DWORD all = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
    DWORD effect = all;
    EXPECT_EQ(target->DragEnter(&three, 0, screen_point(window, 5, 5), &effect), S_OK);
    EXPECT_EQ(effect, DROPEFFECT_COPY);
    // Copy is the only action accepted, whatever keys are held.
    for (DWORD keys : {DWORD(MK_SHIFT), DWORD(MK_CONTROL | MK_SHIFT), DWORD(MK_ALT)}) {
        effect = all;
        EXPECT_EQ(target->DragOver(keys, screen_point(window, 6, 6), &effect), S_OK);
        EXPECT_EQ(effect, DROPEFFECT_COPY) << "keys " << keys;
    }
    effect = all;
    EXPECT_EQ(target->Drop(&three, MK_CONTROL | MK_SHIFT, screen_point(window, 10, 20), &effect), S_OK);
    EXPECT_EQ(effect, DROPEFFECT_COPY);

    std::vector<Event> seen;
    ASSERT_TRUE(pump_until([&] { return !seen.empty() && seen.back().code == EVENT_WINDOW_DROP; }, &seen));
    EXPECT_EQ(seen.back(), (Event{EVENT_WINDOW_DROP, seen.back().object, 31, -1}));
    EXPECT_EQ(dropped_files(), "C:\\data\\one.bin\nC:\\data\\two.bin\nD:\\x\\three files.rom");
    const DropRecord* record = event_state()->pending_drop_record;
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->x, 10);
    EXPECT_EQ(record->y, 20);
    EXPECT_EQ(record->effect, DROPEFFECT_COPY);
    // The record lives until the next wait, and there is one event only.
    std::vector<Event> after = drain_events();
    EXPECT_FALSE(contains(after, EVENT_WINDOW_DROP));
    EXPECT_EQ(dropped_files(), "");

    // One file, in the wide form the shell produces: its path alone.
    DataObject one(CF_HDROP, file_list({"C:\\only one.bin"}, true));
    EXPECT_EQ(enter_effect(target, &one, DROPEFFECT_COPY), DROPEFFECT_COPY);
    effect = DROPEFFECT_COPY;
    target->DragEnter(&one, 0, screen_point(window, 1, 1), &effect);
    target->Drop(&one, 0, screen_point(window, 1, 1), &effect);
    seen.clear();
    ASSERT_TRUE(pump_until([&] { return !seen.empty() && seen.back().code == EVENT_WINDOW_DROP; }, &seen));
    EXPECT_EQ(dropped_files(), "C:\\only one.bin");

    // A source that cannot copy, or that offers only text, is refused and
    // leaves no event.
    EXPECT_EQ(enter_effect(target, &one, DROPEFFECT_MOVE), DROPEFFECT_NONE);
    const char text[] = "not a file";
    DataObject words(CF_TEXT, std::vector<char>(text, text + sizeof(text)));
    effect = all;
    EXPECT_EQ(target->DragEnter(&words, 0, screen_point(window, 1, 1), &effect), S_OK);
    EXPECT_EQ(effect, DROPEFFECT_NONE);
    effect = all;
    EXPECT_EQ(target->Drop(&words, 0, screen_point(window, 1, 1), &effect), S_OK);
    EXPECT_EQ(effect, DROPEFFECT_NONE);
    EXPECT_FALSE(contains(drain_events(), EVENT_WINDOW_DROP));
    // Not a drop event at all: no file list either.
    EXPECT_EQ(dropped_files(), "");

    // A drop posted but never waited for goes with the window.
    effect = DROPEFFECT_COPY;
    target->DragEnter(&three, 0, screen_point(window, 1, 1), &effect);
    target->Drop(&three, 0, screen_point(window, 1, 1), &effect);
    ASSERT_EQ(effect, DROPEFFECT_COPY);
    target->AddRef();
    close_window(31);
    // Closing revoked the registration: ours is the last reference.
    EXPECT_EQ(target->Release(), 0u);
    EXPECT_FALSE(contains(drain_events(), EVENT_WINDOW_DROP));
}

// A wide list built from UTF-16 names, starting `gap` bytes after the header.
std::vector<char> wide_list(const std::vector<std::u16string>& names, size_t gap)
{
    std::vector<char> bytes(sizeof(DROPFILES) + gap, 'x');
    DROPFILES header{};
    header.pFiles = static_cast<DWORD>(sizeof(DROPFILES) + gap);
    header.fWide = TRUE;
    std::memcpy(bytes.data(), &header, sizeof header);
    std::u16string units;
    for (const std::u16string& name : names) units += name + u'\0';
    units += u'\0';
    for (char16_t unit : units) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

TEST_F(DropTest, ForeignListsAreReadWithinTheirBlock)
{
    HWND window = open_test_window(34);
    enable_window_drop(34, CF_HDROP, DROPEFFECT_COPY);
    IDropTarget* target = target_of(window);
    ASSERT_NE(target, nullptr);
    drain_events();
    auto drop = [&](std::vector<char> bytes) {
        DataObject data(CF_HDROP, std::move(bytes));
        DWORD effect = DROPEFFECT_COPY;
        target->DragEnter(&data, 0, screen_point(window, 1, 1), &effect);
        target->Drop(&data, 0, screen_point(window, 1, 1), &effect);
        std::vector<Event> seen;
        if (!pump_until([&] { return !seen.empty() && seen.back().code == EVENT_WINDOW_DROP; }, &seen))
            return std::string("(no drop event)");
        return dropped_files();
    };

    // Wide names at an odd offset; a list offset far beyond the block.
    EXPECT_EQ(drop(wide_list({u"C:\\odd\\one.bin", u"C:\\two"}, 1)), "C:\\odd\\one.bin\nC:\\two");
    std::vector<char> beyond = file_list({"C:\\a.bin"}, false);
    const DWORD far_offset = 0x7FFFFFF0;
    std::memcpy(beyond.data(), &far_offset, sizeof far_offset);
    EXPECT_EQ(drop(beyond), "");

    // Wide names reach the program in the ANSI code page, with its default
    // character for what the code page lacks.
    if (GetACP() == 1252) {
        EXPECT_EQ(drop(wide_list({u"C:\\caf\u00E9", u"\u4E00.rom"}, 0)), "C:\\caf\xE9\n?.rom");
    }
    close_window(34);
}

TEST_F(DropTest, FormatsCanBeReplacedAndWithdrawn)
{
    HWND window = open_test_window(32);
    DataObject files(CF_HDROP, file_list({"C:\\a.bin"}, false));
    const char text[] = "words";
    DataObject words(CF_TEXT, std::vector<char>(text, text + sizeof(text)));

    // A foreign registration is replaced, and its reference given back.
    CountingTarget foreign;
    ASSERT_EQ(RegisterDragDrop(window, &foreign), S_OK);
    enable_window_drop(32, CF_HDROP, DROPEFFECT_COPY);
    IDropTarget* target = target_of(window);
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(foreign.references, 1);
    EXPECT_EQ(enter_effect(target, &files, DROPEFFECT_COPY), DROPEFFECT_COPY);

    // The later actions replace the earlier ones.
    enable_window_drop(32, CF_HDROP, DROPEFFECT_MOVE);
    EXPECT_EQ(enter_effect(target, &files, DROPEFFECT_COPY), DROPEFFECT_NONE);
    EXPECT_EQ(enter_effect(target, &files, DROPEFFECT_COPY | DROPEFFECT_MOVE), DROPEFFECT_MOVE);

    // A second format; links need Alt or Ctrl+Shift.
    enable_window_drop(32, CF_TEXT, DROPEFFECT_COPY | DROPEFFECT_LINK);
    const DWORD all = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
    EXPECT_EQ(enter_effect(target, &words, all), DROPEFFECT_COPY);
    EXPECT_EQ(enter_effect(target, &words, all, MK_ALT), DROPEFFECT_LINK);
    EXPECT_EQ(enter_effect(target, &words, all, MK_CONTROL | MK_SHIFT), DROPEFFECT_LINK);
    EXPECT_EQ(enter_effect(target, &words, DROPEFFECT_LINK), DROPEFFECT_LINK);

    // Withdrawing one format keeps the other; the last one revokes.
    enable_window_drop(32, CF_HDROP, 0);
    EXPECT_EQ(enter_effect(target, &files, all), DROPEFFECT_NONE);
    EXPECT_EQ(enter_effect(target, &words, all), DROPEFFECT_COPY);
    enable_window_drop(32, CF_TEXT, 0);
    EXPECT_EQ(target_of(window), nullptr);
    CountingTarget later;
    EXPECT_EQ(RegisterDragDrop(window, &later), S_OK);
    RevokeDragDrop(window);

    // Format 0 and unknown windows change nothing.
    enable_window_drop(32, 0, DROPEFFECT_COPY);
    enable_window_drop(99, CF_HDROP, DROPEFFECT_COPY);
    EXPECT_EQ(target_of(window), nullptr);
    close_window(32);
}

// Drop messages that no drop target of ours posted (null, small and wild
// values, a page that faults when read, a well-formed record on the main heap)
// are neither queued, read nor freed, on dispatch or when the window goes; real
// records among them arrive and are freed exactly once.
TEST_F(DropTest, ForgedDropMessagesAreIgnored)
{
    const int32_t flags = WS_CAPTION | WS_SYSMENU | WINDOW_NO_GADGET_LIST;  // closing frees only its own
    HWND window = open_test_window(35, flags);
    enable_window_drop(35, CF_HDROP, DROPEFFECT_COPY);
    IDropTarget* target = target_of(window);
    ASSERT_NE(target, nullptr);
    drain_events();
    auto* fake = static_cast<DropRecord*>(main_alloc(sizeof(DropRecord)));
    *fake = DropRecord{CF_HDROP, 0, DROPEFFECT_COPY, 1, 1, main_alloc(64), 64};
    void* unreadable = VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS);
    auto post_forged = [&] {
        for (LPARAM value : {LPARAM{0}, LPARAM{1}, LPARAM{0x1000}, static_cast<LPARAM>(0x4141414141414141),
                             reinterpret_cast<LPARAM>(unreadable), reinterpret_cast<LPARAM>(fake)}) {
            PostMessageA(window, WINDOW_DROP_MESSAGE, 0, value);
            PostMessageA(window, GADGET_DROP_MESSAGE, 7, value);
        }
    };
    auto real_drop = [&](const char* path) {
        DataObject data(CF_HDROP, file_list({path}, false));
        DWORD effect = DROPEFFECT_COPY;
        target->DragEnter(&data, 0, screen_point(window, 1, 1), &effect);
        EXPECT_EQ(target->Drop(&data, 0, screen_point(window, 1, 1), &effect), S_OK);
        EXPECT_EQ(effect, DROPEFFECT_COPY);
    };
    const size_t blocks = busy_heap_blocks();

    post_forged();
    real_drop("C:\\real.bin");
    post_forged();
    std::vector<Event> seen;
    ASSERT_TRUE(pump_until([&] { return contains(seen, EVENT_WINDOW_DROP); }, &seen));
    EXPECT_EQ(dropped_files(), "C:\\real.bin");
    for (const Event& event : drain_events()) seen.push_back(event);
    EXPECT_EQ(only(seen, {EVENT_WINDOW_DROP, EVENT_GADGET_DROP}, 35).size(), 1u);
    EXPECT_EQ(busy_heap_blocks(), blocks) << "the real record kept, or the fake one freed";

    // Left queued at the end sequence, or when the window goes.
    init_drop();
    real_drop("C:\\left.bin");
    end_drop();
    EXPECT_EQ(busy_heap_blocks(), blocks);
    EXPECT_FALSE(contains(drain_events(), EVENT_WINDOW_DROP)) << "a record freed at the end came back";
    open_test_window(36, flags);  // what closing such a window frees by itself
    enable_window_drop(36, CF_HDROP, DROPEFFECT_COPY);
    const size_t with_second = busy_heap_blocks();
    close_window(36);
    const size_t before_close = busy_heap_blocks();
    real_drop("C:\\closing.bin");
    post_forged();
    close_window(35);
    EXPECT_EQ(busy_heap_blocks(), before_close - (with_second - before_close));
    main_free(fake->data);
    main_free(fake);
    VirtualFree(unreadable, 0, MEM_RELEASE);
}

// A record as a drop target makes one, marked with `mark` in its point and in
// every byte of its data.
constexpr int32_t MARKED_SIZE = 24;
DropRecord* marked_record(int32_t mark)
{
    void* data = main_alloc(MARKED_SIZE);
    std::memset(data, mark, MARKED_SIZE);
    auto* record = static_cast<DropRecord*>(main_alloc(sizeof(DropRecord)));
    *record = DropRecord{CF_HDROP, 0, DROPEFFECT_COPY, mark, -mark, data, MARKED_SIZE};
    return record;
}

void free_record(DropRecord* record)
{
    main_free(record->data);
    main_free(record);
}

// Takes events until no native message is left (a drop message that carries
// nothing of ours gives no event, not the end). Returns the marks of the drop
// records that arrived, in order: -1 for one not among `posted` or changed.
std::vector<int32_t> arrived_marks(const std::vector<DropRecord*>& posted)
{
    std::vector<int32_t> marks;
    MSG waiting;
    for (int round = 0; round < 1000; ++round) {
        const int32_t code = wait_event_timeout(0);
        if (!code && !PeekMessageA(&waiting, nullptr, 0, 0, PM_NOREMOVE)) break;
        if (code != EVENT_WINDOW_DROP && code != EVENT_GADGET_DROP) continue;
        const DropRecord* record = event_state()->pending_drop_record;
        const auto mark = static_cast<int32_t>(std::find(posted.begin(), posted.end(), record) - posted.begin());
        const auto* bytes = static_cast<const unsigned char*>(record->data);
        const bool intact = mark < static_cast<int32_t>(posted.size()) && record->x == mark && record->y == -mark &&
                            record->size == MARKED_SIZE &&
                            std::all_of(bytes, bytes + MARKED_SIZE, [&](unsigned char b) { return b == mark; });
        marks.push_back(intact ? mark : -1);
    }
    return marks;
}

// At most POSTED_DROP_LIMIT drops wait at once: the next is refused, by
// post_drop_record and by the drop target, and the waiting ones arrive
// untouched, each once and in order; then there is room again.
TEST_F(DropTest, PostedDropsBeyondTheLimitAreRefused)
{
    HWND window = open_test_window(37);
    enable_window_drop(37, CF_HDROP, DROPEFFECT_COPY);
    IDropTarget* target = target_of(window);
    ASSERT_NE(target, nullptr);
    drain_events();
    const size_t blocks = busy_heap_blocks();
    std::vector<DropRecord*> posted;
    std::vector<int32_t> expected;
    for (int32_t mark = 0; mark <= POSTED_DROP_LIMIT; ++mark) {
        posted.push_back(marked_record(mark));
        const bool taken = post_drop_record(window, WINDOW_DROP_MESSAGE, 0, posted.back());
        EXPECT_EQ(taken, mark < POSTED_DROP_LIMIT) << mark;
        if (taken) expected.push_back(mark);
    }
    free_record(posted.back());  // refused: still ours
    auto drop_late = [&] {
        DataObject late(CF_HDROP, file_list({"C:\\late.bin"}, false));
        DWORD effect = DROPEFFECT_COPY;
        target->DragEnter(&late, 0, screen_point(window, 1, 1), &effect);
        EXPECT_EQ(target->Drop(&late, 0, screen_point(window, 1, 1), &effect), S_OK);
        return effect;
    };
    EXPECT_EQ(drop_late(), DROPEFFECT_NONE);

    EXPECT_EQ(arrived_marks(posted), expected);
    EXPECT_EQ(drop_late(), DROPEFFECT_COPY);
    std::vector<Event> seen;
    ASSERT_TRUE(pump_until([&] { return contains(seen, EVENT_WINDOW_DROP); }, &seen));
    EXPECT_EQ(dropped_files(), "C:\\late.bin");
    drain_events();
    EXPECT_EQ(busy_heap_blocks(), blocks) << "a record kept, or one freed twice";
    close_window(37);
}

// A posted record is taken only by the very message that carries it, and only
// once. Posts that fail, and drops still queued when their window closes (for
// the window or for a gadget on it), give their places in the list back.
TEST_F(DropTest, PostedRecordsAreTakenOnlyByTheirOwnMessage)
{
    HWND window = open_test_window(38);
    HWND other = open_test_window(39);
    drain_events();
    DropRecord* record = marked_record(5);
    ASSERT_TRUE(post_drop_record(window, GADGET_DROP_MESSAGE, 7, record));
    const auto value = reinterpret_cast<LPARAM>(record);
    EXPECT_EQ(claim_posted_drop(other, GADGET_DROP_MESSAGE, 7, value), nullptr);
    EXPECT_EQ(claim_posted_drop(window, WINDOW_DROP_MESSAGE, 7, value), nullptr);
    EXPECT_EQ(claim_posted_drop(window, GADGET_DROP_MESSAGE, 8, value), nullptr);
    EXPECT_EQ(claim_posted_drop(window, GADGET_DROP_MESSAGE, 7, value + 1), nullptr);
    EXPECT_EQ(claim_posted_drop(window, GADGET_DROP_MESSAGE, 7, value), record);
    EXPECT_EQ(claim_posted_drop(window, GADGET_DROP_MESSAGE, 7, value), nullptr);
    EXPECT_TRUE(arrived_marks({record}).empty()) << "its message, still queued, carries nothing of ours now";
    free_record(record);

    close_window(39);
    for (int32_t mark = 0; mark <= POSTED_DROP_LIMIT; ++mark) {
        DropRecord* lost = marked_record(mark);
        EXPECT_FALSE(post_drop_record(other, WINDOW_DROP_MESSAGE, 0, lost)) << "posted to a closed window";
        free_record(lost);
    }
    ASSERT_TRUE(post_drop_record(window, WINDOW_DROP_MESSAGE, 0, marked_record(1)));
    ASSERT_TRUE(post_drop_record(window, GADGET_DROP_MESSAGE, 3, marked_record(2)));
    close_window(38);

    HWND last = open_test_window(40);
    std::vector<DropRecord*> posted;
    std::vector<int32_t> expected;
    for (int32_t mark = 0; mark < POSTED_DROP_LIMIT; ++mark) {
        posted.push_back(marked_record(mark));
        expected.push_back(mark);
        ASSERT_TRUE(post_drop_record(last, mark % 2 ? GADGET_DROP_MESSAGE : WINDOW_DROP_MESSAGE, 0, posted.back()))
            << "no room for drop " << mark;
    }
    EXPECT_EQ(arrived_marks(posted), expected);
    close_window(40);
}

const GadgetKind PLAIN_KIND{GADGET_KIND_BUTTON, sizeof(GadgetRecord)};

TEST_F(DropTest, GadgetDropNamesTheGadget)
{
    HWND window = open_test_window(33);
    HWND button = CreateWindowExA(0, "BUTTON", "drop here", WS_CHILD | WS_VISIBLE, 10, 10, 100, 30, window, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    auto* record = static_cast<GadgetRecord*>(obtain_object(gadget_table(), 7));
    ASSERT_NE(record, nullptr);
    ASSERT_NE(register_gadget(7, record, button, &PLAIN_KIND), 0);
    enable_gadget_drop(7, CF_HDROP, DROPEFFECT_COPY);
    IDropTarget* target = target_of(button);
    ASSERT_NE(target, nullptr);
    drain_events();

    DataObject files(CF_HDROP, file_list({"C:\\g.bin", "C:\\h.bin"}, false));
    DWORD effect = DROPEFFECT_COPY;
    target->DragEnter(&files, 0, screen_point(button, 2, 2), &effect);
    target->Drop(&files, 0, screen_point(button, 3, 4), &effect);
    EXPECT_EQ(effect, DROPEFFECT_COPY);
    std::vector<Event> seen;
    ASSERT_TRUE(pump_until([&] { return !seen.empty() && seen.back().code == EVENT_GADGET_DROP; }, &seen));
    EXPECT_EQ(seen.back(), (Event{EVENT_GADGET_DROP, 7, 33, -1}));
    EXPECT_EQ(dropped_files(), "C:\\g.bin\nC:\\h.bin");
    EXPECT_EQ(event_state()->pending_drop_record->x, 3);

    enable_gadget_drop(7, CF_HDROP, 0);
    EXPECT_EQ(target_of(button), nullptr);
    free_gadget(7);
    close_window(33);
}

}  // namespace
