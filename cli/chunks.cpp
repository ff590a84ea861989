// chunks.cpp: worker threads take chunk numbers in order from one counter;
// each reads its chunk with a positional read into a buffer of its own.
#include "chunks.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "system.h"
#include "thread_group.h"

int64_t chunk_threads(int64_t buffer_bytes)
{
    int64_t cores = std::max<int64_t>(1, std::thread::hardware_concurrency());
    if (const char* forced = std::getenv("BITLOUPE_CORES"); forced && *forced) cores = std::max<int64_t>(1, std::atoll(forced));
    return std::clamp<int64_t>(cores, 1, std::max<int64_t>(1, CHUNK_BUFFERS_BUDGET / std::max<int64_t>(1, buffer_bytes)));
}

bool for_each_chunk(SourceFile& source, int64_t chunk, int64_t overlap, const ChunkWork& work, std::string& why,
                    const std::function<void(int64_t done)>& progress, const std::function<void()>& stopping,
                    int64_t held)
{
    const int64_t size = source.size();
    if (size <= 0 || chunk <= 0) return true;
    const int64_t chunks = (size + chunk - 1) / chunk;
    const int64_t threads = chunk_threads(std::min(chunk + overlap, size) + std::max<int64_t>(0, held));

    std::atomic<int64_t> next{0};
    std::atomic<int64_t> done_bytes{0};
    std::atomic<bool> failed{false}, enough{false};
    std::once_flag told;
    const auto stop_early = [&] {
        if (stopping) std::call_once(told, stopping);
    };
    std::mutex lock;
    std::condition_variable finished;
    const int64_t workers = std::min(threads, chunks);
    int64_t running = 0;  // threads still at the work
    std::string failure;

    auto worker = [&] {
        // Told when this thread is done, however it ends.
        struct Done {
            std::mutex& lock;
            std::condition_variable& finished;
            int64_t& running;
            ~Done()
            {
                std::lock_guard<std::mutex> hold(lock);
                --running;
                finished.notify_all();
            }
        } done{lock, finished, running};
        std::vector<uint8_t> buffer;
        for (int64_t n; !failed && !enough && (n = next++) < chunks;) {
            const int64_t offset = n * chunk;
            const int64_t length = std::min(chunk + overlap, size - offset);
            buffer.resize(static_cast<size_t>(length));
            std::string reason;
            if (!source.read(offset, length, buffer.data(), reason)) {
                {
                    std::lock_guard<std::mutex> hold(lock);
                    if (!failed.exchange(true)) failure = reason;
                }
                stop_early();
                break;
            }
            try {
                fault_point();
                if (!work(n, offset, buffer.data(), length)) enough = true;
            } catch (...) {
                failed = true;  // the others stop too; the group throws it again
                stop_early();
                throw;
            }
            done_bytes += std::min(chunk, size - offset);
        }
    };
    // With progress to report, the calling thread reports while the workers
    // read; without, it is one of them (and it is the only one when no other
    // thread can start).
    ThreadGroup group(worker);
    const int64_t wanted = progress ? workers : workers - 1;
    {
        std::lock_guard<std::mutex> hold(lock);
        running = wanted;
    }
    const int64_t started = group.start(wanted);
    {
        std::lock_guard<std::mutex> hold(lock);
        running -= wanted - started;
    }
    if (progress && started > 0) {
        std::unique_lock<std::mutex> hold(lock);
        while (!finished.wait_for(hold, std::chrono::milliseconds(200), [&] { return running == 0; })) {
            hold.unlock();
            progress(done_bytes);
            hold.lock();
        }
    } else {
        {
            std::lock_guard<std::mutex> hold(lock);
            ++running;
        }
        group.run_here();
    }
    group.finish();
    if (progress) progress(done_bytes);
    if (failed) {
        why = failure;
        return false;
    }
    return true;
}
