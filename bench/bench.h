// bench.h: a small timing harness shared by the benchmark programs.
//
// measure() runs a body `runs` times and returns the median duration in
// nanoseconds of one run. measure_pair() does the same for a body and its
// floor taken in turns, so that both see the same load of a shared machine.
// Benchmarks print medians and, where they have one, the ratio to a floor
// measured in the same run. Nothing here asserts.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace bench {

template <typename Body>
double measure(int runs, Body&& body)
{
    std::vector<double> samples;
    samples.reserve(static_cast<size_t>(runs));
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        body();
        auto stop = std::chrono::steady_clock::now();
        samples.push_back(std::chrono::duration<double, std::nano>(stop - start).count());
    }
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

struct PairMedians {
    double body;
    double floor;
};

// The body and the floor alternate, one run of each in turn (the body first),
// and each gets its own median.
template <typename Body, typename Floor>
PairMedians measure_pair(int runs, Body&& body, Floor&& floor)
{
    std::vector<double> body_samples;
    std::vector<double> floor_samples;
    body_samples.reserve(static_cast<size_t>(runs));
    floor_samples.reserve(static_cast<size_t>(runs));
    auto time = [](auto& work) {
        auto start = std::chrono::steady_clock::now();
        work();
        auto stop = std::chrono::steady_clock::now();
        return std::chrono::duration<double, std::nano>(stop - start).count();
    };
    for (int i = 0; i < runs; ++i) {
        body_samples.push_back(time(body));
        floor_samples.push_back(time(floor));
    }
    std::sort(body_samples.begin(), body_samples.end());
    std::sort(floor_samples.begin(), floor_samples.end());
    return {body_samples[body_samples.size() / 2], floor_samples[floor_samples.size() / 2]};
}

// Keeps the optimiser from dropping a computed value.
template <typename T>
inline void keep(T const& value)
{
    asm volatile("" : : "r,m"(value) : "memory");
}

inline void report(const char* name, double value, const char* unit)
{
    std::printf("%-48s %12.2f %s\n", name, value, unit);
}

}  // namespace bench
