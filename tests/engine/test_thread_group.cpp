// Work shared by threads: all of it done on the threads there are (the
// calling one alone when none can start), and an exception on any thread
// thrown again on the calling one once every thread has ended.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <stdexcept>

#include "thread_group.h"

namespace {

// The fault switch of the threads, on or off.
void no_threads(bool on)
{
#ifdef _WIN32
    _putenv_s("BITLOUPE_FAULT", on ? "thread" : "");
#else
    if (on)
        setenv("BITLOUPE_FAULT", "thread", 1);
    else
        unsetenv("BITLOUPE_FAULT");
#endif
}

TEST(ThreadGroup, EveryPieceIsDoneOnTheThreadsThereAre)
{
    for (const bool threads_start : {true, false}) {
        no_threads(!threads_start);
        std::atomic<int64_t> next{0}, done{0};
        ThreadGroup group([&] {
            for (int64_t i; (i = next++) < 1000;) done += i;
        });
        EXPECT_EQ(group.start(3), threads_start ? 3 : 0);
        group.run_here();
        group.finish();
        EXPECT_EQ(done, 999 * 1000 / 2);
        no_threads(false);
    }
}

TEST(ThreadGroup, AnExceptionOnAnyThreadComesBackToTheCaller)
{
    std::atomic<int64_t> next{0}, done{0};
    const auto work = [&] {
        for (int64_t i; (i = next++) < 64;) {
            if (i == 10) throw std::length_error("piece 10");
            ++done;
        }
    };
    try {
        run_on_threads(4, work);
        ADD_FAILURE() << "nothing was thrown";
    } catch (const std::length_error& e) {
        EXPECT_STREQ(e.what(), "piece 10");
    }
    // The other threads went on to the end: every piece but the one.
    EXPECT_EQ(done, 63);
}

}  // namespace
