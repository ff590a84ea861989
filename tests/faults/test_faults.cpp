// Platform calls made to fail on demand: DIB sections, file creation, writes,
// the JPEG encoder's writes and heap allocations. Each failure must give the
// documented result, keep the files the user has, and leak nothing: GDI
// objects, kernel handles and heap bytes are counted around every case.
#include <gtest/gtest.h>

#include <windows.h>
#include <winternl.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "canvas.h"
#include "drawing.h"
#include "fault_switch.h"
#include "faults.h"
#include "files.h"
#include "gadget.h"
#include "gadget_support.h"
#include "heap.h"
#include "images.h"
#include "registry.h"
#include "save.h"
#include "window.h"

namespace {

// GDI objects of this process. Wine answers 0 to GetGuiResources; there the
// process's GDI handle table (the PEB's GdiSharedHandleTable, 0x10000 entries
// of 24 bytes, the object type at byte 14) is counted instead.
int32_t gdi_objects()
{
    if (DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) return static_cast<int32_t>(count);
    PROCESS_BASIC_INFORMATION basic{};
    if (NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof(basic), nullptr) != 0)
        return -1;
    auto* peb = reinterpret_cast<const uint8_t*>(basic.PebBaseAddress);
    const uint8_t* table = nullptr;
    std::memcpy(&table, peb + 0xF8, sizeof(table));
    if (!table) return -1;
    int32_t count = 0;
    for (int32_t i = 0; i < 0x10000; ++i) count += table[i * 24 + 14] != 0;
    return count;
}

// Kernel handles of this process (Wine answers 0 to GetProcessHandleCount:
// then every small handle value is asked about).
int32_t kernel_handles()
{
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count) return static_cast<int32_t>(count);
    int32_t found = 0;
    for (uintptr_t value = 4; value < 0x10000; value += 4) {
        DWORD flags = 0;
        found += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) != 0;
    }
    return found;
}

// Bytes in use on every heap of the process (the main heap, the C library's).
int64_t heap_bytes()
{
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    int64_t total = 0;
    for (DWORD i = 0; i < count && i < 64; ++i) {
        PROCESS_HEAP_ENTRY entry{};
        HeapLock(heaps[i]);
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return total;
}

struct Resources {
    int32_t gdi;
    int32_t handles;
    int64_t heap;
};

Resources resources()
{
    return {gdi_objects(), kernel_handles(), heap_bytes()};
}

// Runs `scenario` once to let the system make what it keeps for later (font
// caches, the C library's file buffers), then twice more: those two runs must
// leave the counts where they found them.
void expect_no_growth(const std::function<void()>& scenario)
{
    scenario();
    const Resources before = resources();
    scenario();
    scenario();
    const Resources after = resources();
    EXPECT_EQ(after.gdi, before.gdi) << "GDI objects";
    EXPECT_EQ(after.handles, before.handles) << "handles";
    EXPECT_EQ(after.heap, before.heap) << "heap bytes";
}

std::string g_folder;

void init_once()
{
    static bool done = false;
    if (done) return;
    done = true;
    init_drawing();
    init_images();
    init_graphics_helpers();
    init_files();
    use_jpeg_encoder();
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    g_folder = std::string(temp) + "bitloupe-faults-" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(g_folder.c_str(), nullptr);
}

std::vector<std::string> folder_entries()
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((g_folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

void remove_folder()
{
    for (const std::string& name : folder_entries()) DeleteFileA((g_folder + name).c_str());
    RemoveDirectoryA(g_folder.c_str());
}

std::string read_all(const std::string& path)
{
    std::string bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return "<missing>";
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.append(buffer, got);
    std::fclose(file);
    return bytes;
}

void write_all(const std::string& path, const std::string& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

// Runs `attempt` with the k-th call at `fault` failing, for k = 0, 1, 2, ...
// until an attempt no longer reaches the failing call. `check` sees each
// attempt's result. Returns how many calls a full attempt makes.
int32_t sweep(Fault fault, const std::function<int32_t()>& attempt,
              const std::function<void(int32_t k, int32_t result)>& check)
{
    for (int32_t k = 0; k < 10000; ++k) {
        clear_faults();
        fail_after(fault, k);
        const int32_t result = attempt();
        const int32_t calls = fault_calls(fault);
        clear_faults();
        check(k, result);
        if (calls <= k) return calls;
    }
    ADD_FAILURE() << "the sweep did not end";
    return -1;
}

// The same with heap allocations, which have their own switch.
int32_t sweep_allocations(const std::function<int32_t()>& attempt,
                          const std::function<void(int32_t k, int32_t result)>& check)
{
    for (int32_t k = 0; k < 10000; ++k) {
        fail_allocation_after(k);
        const int32_t result = attempt();
        // Still armed: the attempt made k allocations or fewer.
        void* probe = heap_alloc(main_heap(), 8, false);
        fail_allocation_after(-1);
        check(k, result);
        if (!probe) return k;
        heap_free(main_heap(), probe);
    }
    ADD_FAILURE() << "the sweep did not end";
    return -1;
}

constexpr int32_t IMAGE = 3;

void make_picture()
{
    ASSERT_TRUE(create_image(IMAGE, 64, 48, 24));
    ASSERT_TRUE(start_drawing(image_output(IMAGE)));
    draw_box(0, 0, 64, 48, rgb(255, 255, 255));
    draw_box(8, 8, 20, 12, rgb(200, 30, 30));
    draw_text(2, 30, "Bitloupe");
    stop_drawing();
}

}  // namespace

// The canvas library starts with the first canvas of the process, so this case
// comes first: every allocation of that start is failed in turn (the library's
// record, its event pool, the pool's first chunk) until a canvas is made.
TEST(Faults, CanvasLibraryThatCannotStartLeavesNothingBehind)
{
    init_once();
    ASSERT_TRUE(open_gadget_window(2, 400, 300));
    const Resources before = resources();
    int32_t failures = 0;
    intptr_t made = 0;
    for (int32_t k = 0; k < 100 && !made; ++k) {
        fail_allocation_after(k);
        made = create_canvas_gadget(0, 0, 0, 100, 80);
        fail_allocation_after(-1);
        if (made) break;
        ++failures;
        const Resources after = resources();
        EXPECT_EQ(after.gdi, before.gdi) << "GDI objects, allocation " << k;
        EXPECT_EQ(after.handles, before.handles) << "handles, allocation " << k;
        EXPECT_EQ(after.heap, before.heap) << "heap bytes, allocation " << k;
    }
    ASSERT_NE(made, 0);
    EXPECT_GE(failures, 2) << "the record and the event pool both failed";
    // Once started, the library serves canvases as usual.
    ASSERT_TRUE(start_drawing(canvas_output(0)));
    draw_box(0, 0, 10, 10, rgb(0, 0, 255));
    EXPECT_EQ(read_pixel(5, 5) & 0xFFFFFF, rgb(0, 0, 255));
    stop_drawing();
    free_gadget(0);
    drain_events();
    close_window(2);
}

TEST(Faults, ImagesThatCannotBeMadeLeaveNothingBehind)
{
    init_once();
    expect_no_growth([] {
        fail_after(Fault::create_dib_section, 0);
        EXPECT_EQ(create_image(IMAGE, 64, 48, 24), 0);
        clear_faults();
        EXPECT_EQ(find_object(image_table(), IMAGE), nullptr);
        EXPECT_EQ(image_output(IMAGE), nullptr);
        EXPECT_EQ(start_drawing(image_output(IMAGE)), 0);

        // The record (or the table's growth) cannot be allocated: the DIB
        // section already made is destroyed.
        const int32_t allocations =
            sweep_allocations([] { return static_cast<int32_t>(create_image(ANY_NUMBER, 32, 32, 32) != 0); },
                              [](int32_t, int32_t made) {
                                  if (made) free_all_images();
                              });
        EXPECT_GE(allocations, 1);

        // The number is free again and works.
        make_picture();
        free_image(IMAGE);
    });
}

TEST(Faults, DrawingGoesOnWhenItsHelperBitmapsCannotBeMade)
{
    init_once();
    make_picture();
    // A device-dependent bitmap is drawn through a DIB section made for it.
    HDC screen = GetDC(nullptr);
    HBITMAP device_bitmap = CreateCompatibleBitmap(screen, 16, 16);
    ReleaseDC(nullptr, screen);
    ASSERT_NE(device_bitmap, nullptr);
    NativeHandle picture = static_cast<ImageRecord*>(find_object(image_table(), IMAGE))->handle;
    // Text surfaces, conversions and scaled copies each need a DIB section;
    // without one the text or image is simply not drawn, and the rest is.
    expect_no_growth([&] {
        const int32_t calls = sweep(
            Fault::create_dib_section,
            [&] {
                if (!start_drawing(image_output(IMAGE))) return 0;
                draw_text(0, 0, "text without a surface");
                draw_image(device_bitmap, 40, 30);
                draw_image_sized(picture, 0, 0, 20, 10);
                draw_box(0, 40, 64, 8, rgb(1, 2, 3));
                const int32_t drawn = read_pixel(63, 47) & 0xFFFFFF;
                stop_drawing();
                return static_cast<int32_t>(drawn == (rgb(1, 2, 3) & 0xFFFFFF));
            },
            [](int32_t k, int32_t drew) { EXPECT_EQ(drew, 1) << k; });
        EXPECT_GE(calls, 3);
    });
    DeleteObject(device_bitmap);
    free_image(IMAGE);
}

TEST(Faults, FailedSavesKeepTheOldFileAndLeakNothing)
{
    init_once();
    make_picture();
    const std::string target = g_folder + "picture.out";
    const std::string old_content = "the user's old file";
    struct Case {
        const char* name;
        uint32_t format;
        Fault fault;
    };
    const Case cases[] = {
        {"JPEG, file creation", FORMAT_JPEG, Fault::create_file},
        // A real JPEG is longer than one output buffer: its writes fail both
        // in the middle and at the end.
        {"JPEG, its writes", FORMAT_JPEG, Fault::jpeg_write},
        {"BMP, file creation", FORMAT_BMP, Fault::create_file},
        {"BMP, its writes", FORMAT_BMP, Fault::write_file},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expect_no_growth([&] {
            for (bool existing : {true, false}) {
                int32_t failures = 0;
                const int32_t calls = sweep(
                    c.fault,
                    [&] {
                        if (existing) write_all(target, old_content);
                        return save_image(IMAGE, target.c_str(), c.format, 10);
                    },
                    [&](int32_t k, int32_t saved) {
                        const std::string now = read_all(target);
                        if (!saved) {
                            ++failures;
                            EXPECT_EQ(now, existing ? old_content : "<missing>") << "failure " << k;
                        } else {
                            EXPECT_EQ(now.substr(0, 2), c.format == FORMAT_JPEG ? "\xFF\xD8" : "BM") << k;
                        }
                        // No temporary file is left behind either way.
                        EXPECT_EQ(folder_entries().size(), now == "<missing>" ? 0u : 1u) << k;
                        DeleteFileA(target.c_str());
                    });
                EXPECT_GE(calls, 1);
                EXPECT_EQ(failures, calls) << "every failing call made the save fail";
            }
        });
    }
    free_image(IMAGE);
}

TEST(Faults, SavesWithoutMemoryFailCleanly)
{
    init_once();
    ASSERT_TRUE(create_image(IMAGE, 64, 48, 32));
    const std::string target = g_folder + "memory.out";
    expect_no_growth([&] {
        for (uint32_t format : {FORMAT_JPEG, FORMAT_BMP}) {
            // 32-bit pixels saved as 24-bit: the conversion buffer, the JPEG
            // encoder's row and the BMP writer's row come from the heap.
            write_all(target, "old");
            const int32_t allocations = sweep_allocations(
                [&] { return save_image(IMAGE, target.c_str(), format, DEFAULT_SAVE_QUALITY, 24); },
                [&](int32_t k, int32_t saved) {
                    if (!saved) {
                        EXPECT_EQ(read_all(target), "old") << k;
                    }
                    write_all(target, "old");
                });
            EXPECT_GE(allocations, 1) << format;
            EXPECT_EQ(folder_entries().size(), 1u);
        }
    });
    free_image(IMAGE);
    DeleteFileA(target.c_str());
}

TEST(Faults, FilesReportWhatCouldNotBeDone)
{
    init_once();
    const std::string path = g_folder + "numbered.bin";
    expect_no_growth([&] {
        write_all(path, "kept");
        fail_after(Fault::create_file, 0);
        EXPECT_EQ(open_file_for_reading(4, path.c_str()), 0);
        fail_after(Fault::create_file, 0);
        EXPECT_EQ(create_file(4, path.c_str()), 0);
        EXPECT_EQ(read_all(path), "kept");
        // Nothing under the number: writing and closing do nothing.
        EXPECT_EQ(write_byte(4, 'x'), 0);
        EXPECT_EQ(close_file(4), 0);

        // A write that fails while the buffer is flushed is reported by close_file.
        ASSERT_NE(create_file(4, path.c_str()), 0);
        for (int32_t i = 0; i < 100; ++i) ASSERT_EQ(write_byte(4, i), 1);
        fail_after(Fault::write_file, 0);
        EXPECT_EQ(close_file(4), 0);
        clear_faults();
    });
    DeleteFileA(path.c_str());
}

TEST(Faults, CanvasWithoutABackBufferSkipsDrawing)
{
    init_once();
    ASSERT_TRUE(open_gadget_window(2, 400, 300));
    expect_no_growth([] {
        ASSERT_TRUE(create_canvas_gadget(0, 0, 0, 100, 80));
        ASSERT_TRUE(start_drawing(canvas_output(0)));
        draw_box(0, 0, 10, 10, rgb(255, 0, 0));
        stop_drawing();

        // A resize whose new buffer cannot be made keeps the old one.
        fail_after(Fault::create_dib_section, 0);
        resize_gadget(0, KEEP_VALUE, KEEP_VALUE, 200, 160);
        clear_faults();
        DrawingContext* output = canvas_output(0);
        ASSERT_NE(output, nullptr);
        EXPECT_EQ(output->width, 100);
        EXPECT_EQ(output->height, 80);
        ASSERT_TRUE(start_drawing(output));
        EXPECT_EQ(read_pixel(5, 5) & 0xFFFFFF, rgb(255, 0, 0) & 0xFFFFFF);
        stop_drawing();

        // A canvas made without any buffer has no output; it paints white.
        fail_after(Fault::create_dib_section, 0);
        ASSERT_TRUE(create_canvas_gadget(1, 200, 0, 100, 80));
        clear_faults();
        EXPECT_EQ(canvas_output(1), nullptr);
        EXPECT_EQ(start_drawing(canvas_output(1)), 0);
        UpdateWindow(reinterpret_cast<HWND>(gadget_handle(1)));
        free_gadget(1);
        free_gadget(0);
        drain_events();
    });
    close_window(2);
    remove_folder();
}

TEST(Faults, ResizingACanvasWhileDrawingOnItLeaksNothing)
{
    init_once();
    ASSERT_TRUE(open_gadget_window(2, 400, 300));
    ASSERT_TRUE(create_canvas_gadget(0, 0, 0, 100, 80));
    int32_t size = 0;
    expect_no_growth([&size] {
        // The drawing keeps the buffer it started on; the canvas gets a new one.
        ASSERT_TRUE(start_drawing(canvas_output(0)));
        draw_box(0, 0, 10, 10, rgb(255, 0, 0));
        size = size == 120 ? 140 : 120;
        resize_gadget(0, KEEP_VALUE, KEEP_VALUE, size, size - 20);
        draw_box(0, 0, 10, 10, rgb(0, 255, 0));
        stop_drawing();

        // The canvas draws on its new buffer.
        DrawingContext* output = canvas_output(0);
        ASSERT_NE(output, nullptr);
        EXPECT_EQ(output->width, size);
        EXPECT_EQ(output->height, size - 20);
        ASSERT_TRUE(start_drawing(output));
        draw_box(size - 10, 0, 10, 10, rgb(0, 0, 255));
        EXPECT_EQ(read_pixel(size - 5, 5) & 0xFFFFFF, rgb(0, 0, 255));
        stop_drawing();
        drain_events();
    });
    // A canvas freed while a drawing still holds its old buffer.
    expect_no_growth([] {
        ASSERT_TRUE(create_canvas_gadget(1, 200, 0, 100, 80));
        ASSERT_TRUE(start_drawing(canvas_output(1)));
        resize_gadget(1, KEEP_VALUE, KEEP_VALUE, 120, 100);
        free_gadget(1);
        draw_box(0, 0, 10, 10, rgb(255, 0, 0));
        stop_drawing();
        drain_events();
    });
    free_gadget(0);
    drain_events();
    close_window(2);
}
