// cpu_levels.h: hot loops built for several processor levels, the best the
// processor has chosen at run time. Baseline x86-64 has no popcount
// instruction and no vectors wider than 128 bits; each loop is built without
// popcount, with it, with AVX2 and with AVX-512's vector popcount, from one
// source, so all give the same results.
#pragma once

#include <algorithm>
#include <atomic>

#define BITLOUPE_INLINE inline __attribute__((always_inline))
#if defined(__x86_64__) || defined(__i386__)
#define BITLOUPE_X86 1
#define BITLOUPE_TARGET_POPCNT __attribute__((target("popcnt")))
#define BITLOUPE_TARGET_AVX2 __attribute__((target("popcnt,avx2")))
#define BITLOUPE_TARGET_AVX512 __attribute__((target("popcnt,avx2,avx512f,avx512bw,avx512vl,avx512vpopcntdq")))
#else
#define BITLOUPE_X86 0
#define BITLOUPE_TARGET_POPCNT
#define BITLOUPE_TARGET_AVX2
#define BITLOUPE_TARGET_AVX512
#endif

namespace cpu_levels {

enum class Level { plain, popcnt, avx2, avx512 };

// The best level this processor has.
inline Level best_level()
{
#if BITLOUPE_X86
    static const Level level = [] {
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx512vpopcntdq") && __builtin_cpu_supports("avx512vl") &&
            __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt"))
            return Level::avx512;
        if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt")) return Level::avx2;
        if (__builtin_cpu_supports("popcnt")) return Level::popcnt;
        return Level::plain;
    }();
    return level;
#else
    return Level::plain;
#endif
}

// The most a loop may use, below the best only when lowered on purpose.
inline std::atomic<int>& level_cap()
{
    static std::atomic<int> cap{static_cast<int>(Level::avx512)};
    return cap;
}

inline Level processor_level()
{
    return static_cast<Level>(std::min(static_cast<int>(best_level()), level_cap().load(std::memory_order_relaxed)));
}

// Runs the loops at `cap` or below from now on, so that the builds of a loop
// can be held against one another on one processor.
inline void cap_processor_level(Level cap)
{
    level_cap() = static_cast<int>(cap);
}

}  // namespace cpu_levels

// `RET NAME PARAMS` built from NAME##_body at every level, and chosen.
#define BITLOUPE_LEVELS(RET, NAME, PARAMS, ARGS)                                  \
    RET NAME##_plain PARAMS { return NAME##_body ARGS; }                          \
    BITLOUPE_TARGET_POPCNT RET NAME##_popcnt PARAMS { return NAME##_body ARGS; } \
    BITLOUPE_TARGET_AVX2 RET NAME##_avx2 PARAMS { return NAME##_body ARGS; }     \
    BITLOUPE_TARGET_AVX512 RET NAME##_avx512 PARAMS { return NAME##_body ARGS; } \
    RET NAME PARAMS                                                               \
    {                                                                             \
        switch (cpu_levels::processor_level()) {                                  \
        case cpu_levels::Level::avx512: return NAME##_avx512 ARGS;                \
        case cpu_levels::Level::avx2: return NAME##_avx2 ARGS;                    \
        case cpu_levels::Level::popcnt: return NAME##_popcnt ARGS;                \
        default: return NAME##_plain ARGS;                                        \
        }                                                                         \
    }
