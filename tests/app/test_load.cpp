// Loading under memory and read failures, in the program's own main window:
// memory runs out at every allocation that loading makes in turn. Each attempt
// ends in one of the documented states: loaded; "Not enough memory to load the
// file!" with nothing loaded; or "Couldn't open the file!" and a result that
// ends the program (the file could not be opened or read). The data and the
// row scroll bar always agree.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <mutex>
#include <cstdio>
#include <string>
#include <thread>

#include "fault_switch.h"
#include "faults.h"
#include "files.h"
#include "heap.h"
#include "standard_gadgets.h"
#include "viewer.h"

ViewerState g_viewer;

namespace {

// Answers the message boxes of this process titled "Information" from another
// thread while the main thread waits in them, keeping the last text.
class MessageAnswerer {
public:
    MessageAnswerer()
        : thread_([this] {
              while (!stop_) {
                  for (HWND box = nullptr; (box = FindWindowExA(nullptr, box, "#32770", "Information"));) {
                      DWORD process = 0;
                      GetWindowThreadProcessId(box, &process);
                      if (process != GetCurrentProcessId() || !IsWindowVisible(box)) continue;
                      char text[256] = {};
                      GetWindowTextA(GetDlgItem(box, 0xFFFF), text, sizeof(text));
                      if (!text[0]) continue;
                      {
                          std::lock_guard<std::mutex> lock(mutex_);
                          last_ = text;
                      }
                      PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
                  }
                  Sleep(10);
              }
          })
    {
    }
    ~MessageAnswerer()
    {
        stop_ = true;
        thread_.join();
    }
    std::string take()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::string text = last_;
        last_.clear();
        return text;
    }

private:
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::string last_;
    std::thread thread_;
};

void start_once()
{
    static bool started = false;
    if (started) return;
    started = true;
    start_runtime();
    ASSERT_TRUE(open_main_window());
}

}  // namespace

TEST(Load, EveryFailingAllocationGivesADocumentedState)
{
    start_once();
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    const std::string path = std::string(folder) + "bitloupe-load-" + std::to_string(GetCurrentProcessId()) + ".bin";
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    for (int i = 0; i < 100000; ++i) std::fputc(i * 7, file);
    std::fclose(file);

    MessageAnswerer answerer;
    // A first load makes what later ones reuse (the file record, the string stack).
    load_file(path.c_str());
    ASSERT_EQ(g_viewer.data_length, 100000);
    int out_of_memory = 0, ended = 0, loaded = 0;
    for (int32_t k = 0; k < 200; ++k) {
        SCOPED_TRACE(k);
        // Memory runs out after k allocations and stays out.
        fail_allocation_after(k, 1 << 30);
        const LoadResult result = load_file(path.c_str());
        void* probe = heap_alloc(main_heap(), 8, false);
        fail_allocation_after(-1);
        const std::string message = answerer.take();

        EXPECT_EQ(g_viewer.data == nullptr, g_viewer.data_length == 0);
        if (result == LoadResult::cannot_read) {
            ++ended;
            EXPECT_EQ(message, "Couldn't open the file!");
            EXPECT_EQ(g_viewer.data, nullptr);
        } else if (!g_viewer.data) {
            ++out_of_memory;
            EXPECT_EQ(result, LoadResult::nothing_loaded);
            EXPECT_EQ(message, "Not enough memory to load the file!");
        } else {
            ++loaded;
            EXPECT_EQ(result, LoadResult::loaded);
            EXPECT_EQ(message, "");
            EXPECT_EQ(g_viewer.data_length, 100000);
            EXPECT_EQ(g_viewer.data[99999], static_cast<uint8_t>(99999 * 7));
        }
        if (result != LoadResult::cannot_read) {
            EXPECT_EQ(get_gadget_state(GADGET_ROW), 0);
        }
        if (probe) {
            // Loading needed fewer allocations than were allowed: done.
            heap_free(main_heap(), probe);
            break;
        }
    }
    EXPECT_GE(out_of_memory, 1);
    EXPECT_GE(loaded, 1);
    std::printf("failures ending the program %d, out of memory %d, loaded %d\n", ended, out_of_memory, loaded);
    DeleteFileA(path.c_str());
}

// A file that opens but whose read gives no byte is a file that cannot be
// read, not a lack of memory; its file is closed again all the same.
TEST(Load, AReadGivingNothingIsAFileThatCannotBeRead)
{
    start_once();
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    const std::string path = std::string(folder) + "bitloupe-unread-" + std::to_string(GetCurrentProcessId()) + ".bin";
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    for (int i = 0; i < 5000; ++i) std::fputc(i, file);
    std::fclose(file);

    MessageAnswerer answerer;
    ASSERT_EQ(load_file(path.c_str()), LoadResult::loaded);
    fail_after(Fault::read_file, 0);
    EXPECT_EQ(load_file(path.c_str()), LoadResult::cannot_read);
    clear_faults();
    EXPECT_EQ(answerer.take(), "Couldn't open the file!");
    EXPECT_EQ(g_viewer.data, nullptr);
    EXPECT_EQ(g_viewer.data_length, 0);
    // Closed: the file can be deleted (it was opened without delete sharing).
    EXPECT_TRUE(DeleteFileA(path.c_str()));
}
