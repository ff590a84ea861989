// thread_group.h: one piece of work run on several threads at once, within
// the program's means. A thread that cannot start leaves the work to those
// that did (the calling thread at least); an exception thrown by the work on
// any thread is thrown again on the calling thread once every thread has
// ended, so that it never ends the program there and then.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

class ThreadGroup {
public:
    explicit ThreadGroup(std::function<void()> work) : work_(std::move(work)) {}
    ThreadGroup(const ThreadGroup&) = delete;
    ThreadGroup& operator=(const ThreadGroup&) = delete;
    ~ThreadGroup() { join(); }

    // Starts up to `count` threads running the work; returns how many
    // started. BITLOUPE_FAULT=thread makes every start fail, as when the
    // system has no threads to give.
    int64_t start(int64_t count)
    {
        const char* fault = std::getenv("BITLOUPE_FAULT");
        if (fault && std::strcmp(fault, "thread") == 0) return 0;
        int64_t started = 0;
        for (; started < count; ++started) {
            try {
                threads_.emplace_back([this] { run_here(); });
            } catch (const std::system_error&) {
                break;
            }
        }
        return started;
    }

    // Runs the work on the calling thread, as one of the group.
    void run_here()
    {
        try {
            work_();
        } catch (...) {
            const std::lock_guard<std::mutex> hold(lock_);
            if (!first_failure_) first_failure_ = std::current_exception();
        }
    }

    // Waits for every thread, then throws what the work threw first, if
    // anything.
    void finish()
    {
        join();
        if (first_failure_) std::rethrow_exception(first_failure_);
    }

private:
    void join()
    {
        for (std::thread& t : threads_)
            if (t.joinable()) t.join();
        threads_.clear();
    }

    std::function<void()> work_;
    std::vector<std::thread> threads_;
    std::mutex lock_;
    std::exception_ptr first_failure_;
};

// Runs `work` on `threads` threads, the calling one among them (or on fewer
// when some cannot start), and throws what it threw first.
inline void run_on_threads(int64_t threads, const std::function<void()>& work)
{
    ThreadGroup group(work);
    group.start(threads - 1);
    group.run_here();
    group.finish();
}
