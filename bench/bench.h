// bench.h: a small timing harness shared by the benchmark programs.
//
// measure() runs a body `runs` times and returns the median duration in
// nanoseconds of one run. Benchmarks print medians and, where they have one,
// the ratio to a baseline measured in the same run. Nothing here asserts.
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
