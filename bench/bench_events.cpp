// bench_events.cpp: the cost of one queued event, posted with
// post_event_with_data and taken with wait_event_timeout(0), with and without
// data. Queued events are delivered without a system call; the floor of a
// burst with data, taken in turns with it, is the same burst of records of
// the same fields through a std::deque, each record's release called as it
// is taken. (The native queue is no floor for it: under Wine each native
// post or peek is a server round trip, whose cost follows the machine's load
// rather than our code.) The poll of an empty queue, which asks the native
// queue once, is printed for scale.
#include <cstdio>
#include <deque>

#include "bench.h"
#include "events.h"
#include "heap.h"
#include "window.h"

namespace {

constexpr int RUNS = 1000;
constexpr int EVENTS_PER_RUN = 1000;  // 1,000,000 events per figure
constexpr int32_t CODE = 0x7200;

int g_releases = 0;
void release(void*) { ++g_releases; }

// Posts a burst of distinct events, then takes them all.
double burst(bool with_data)
{
    return bench::measure(RUNS, [with_data] {
        for (int i = 0; i < EVENTS_PER_RUN; ++i)
            post_event_with_data(CODE, i, 0, 0, with_data ? &g_releases : nullptr, with_data ? release : nullptr);
        for (int i = 0; i < EVENTS_PER_RUN; ++i) bench::keep(wait_event_timeout(0));
    }) / EVENTS_PER_RUN;
}

// Posts one event and takes it, the steady state of an event loop.
double alternating(bool with_data)
{
    return bench::measure(RUNS, [with_data] {
        for (int i = 0; i < EVENTS_PER_RUN; ++i) {
            post_event_with_data(CODE, i, 0, 0, with_data ? &g_releases : nullptr, with_data ? release : nullptr);
            bench::keep(wait_event_timeout(0));
        }
    }) / EVENTS_PER_RUN;
}

// One event's fields, as a plain FIFO would hold them.
struct Record {
    int32_t code;
    int32_t object;
    int32_t window;
    int32_t type;
    void* data;
    void (*release)(void*);
};

// The burst with data and its floor, the same burst through a std::deque.
bench::PairMedians burst_with_floor()
{
    std::deque<Record> fifo;
    return bench::measure_pair(
        RUNS,
        [] {
            for (int i = 0; i < EVENTS_PER_RUN; ++i) post_event_with_data(CODE, i, 0, 0, &g_releases, release);
            for (int i = 0; i < EVENTS_PER_RUN; ++i) bench::keep(wait_event_timeout(0));
        },
        [&fifo] {
            for (int i = 0; i < EVENTS_PER_RUN; ++i) fifo.push_back(Record{CODE, i, 0, 0, &g_releases, release});
            while (!fifo.empty()) {
                const Record record = fifo.front();
                fifo.pop_front();
                bench::keep(record.code);
                record.release(record.data);
            }
        });
}

}  // namespace

int main()
{
    if (!init_main_heap()) return 1;
    init_event_queue();
    init_window_library();

    const double poll = bench::measure(RUNS, [] {
        for (int i = 0; i < 100; ++i) bench::keep(wait_event_timeout(0));
    }) / 100;
    bench::report("event, burst of 1000, no data (post + take)", burst(false), "ns/event");
    const bench::PairMedians with_data = burst_with_floor();
    bench::report("event, burst of 1000, with data (post + take)", with_data.body / EVENTS_PER_RUN, "ns/event");
    bench::report("  floor: std::deque push + pop + release", with_data.floor / EVENTS_PER_RUN, "ns/event");
    bench::report("event, one at a time, no data (post + take)", alternating(false), "ns/event");
    bench::report("event, one at a time, with data (post + take)", alternating(true), "ns/event");
    bench::report("empty poll (one native queue check)", poll, "ns/poll");
    std::printf("releases: %d\n", g_releases);
    return 0;
}
