// guarded_pixels.h: pixel memory for drawing tests, lying between two runs of
// guard bytes, so that a write before or after the picture, or into the
// padding at the end of a row, shows.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

struct GuardedPixels {
    static constexpr size_t GUARD = 64;
    static constexpr uint8_t GUARD_BYTE = 0xA5;

    // `height` rows `pitch` bytes apart, every byte `paper`.
    GuardedPixels(int32_t pitch, int32_t height, uint8_t paper)
        : pitch(pitch), paper(paper),
          memory(2 * GUARD + static_cast<size_t>(pitch) * static_cast<size_t>(height), paper)
    {
        std::fill(memory.begin(), memory.begin() + GUARD, GUARD_BYTE);
        std::fill(memory.end() - GUARD, memory.end(), GUARD_BYTE);
    }

    uint8_t* pixels() { return memory.data() + GUARD; }
    const uint8_t* pixels() const { return memory.data() + GUARD; }

    // Whether byte `index` of `memory` is a guard byte or row padding, the
    // pixels of a row taking its first `row_bytes` bytes.
    bool outside(size_t index, size_t row_bytes) const
    {
        if (index < GUARD || index >= memory.size() - GUARD) return true;
        return (index - GUARD) % static_cast<size_t>(pitch) >= row_bytes;
    }

    // The guards and the padding of every row still hold what they were given.
    bool outside_untouched(size_t row_bytes) const
    {
        for (size_t i = 0; i < memory.size(); ++i) {
            if (!outside(i, row_bytes)) continue;
            const bool guard = i < GUARD || i >= memory.size() - GUARD;
            if (memory[i] != (guard ? GUARD_BYTE : paper)) return false;
        }
        return true;
    }

    int32_t pitch;
    uint8_t paper;
    std::vector<uint8_t> memory;
};
