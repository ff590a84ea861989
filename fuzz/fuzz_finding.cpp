// fuzz_finding.cpp: the width guess and the scan on arbitrary bytes. Any
// read outside the input (the sanitizers) or a result out of its ranges
// aborts: widths 1 to GUESS_MAX_WIDTH, scores 0 to 1, best first; regions
// inside the input, in order, apart, of at least the least size asked for.
#include <cstdlib>

#include "finding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size)
{
    if (size < 1) return 0;
    const int32_t most = input[0] % 7;  // 0 to 6: beyond the most there are
    const uint8_t* bytes = input + 1;
    const int64_t length = static_cast<int64_t>(size) - 1;
    WidthGuess guess[GUESS_MAX_CANDIDATES];
    const int32_t n = guess_widths(bytes, length, guess, most);
    if (n < 0 || n > GUESS_MAX_CANDIDATES || n > most) std::abort();
    for (int32_t i = 0; i < n; ++i) {
        if (guess[i].width_bits < 1 || guess[i].width_bits > GUESS_MAX_WIDTH) std::abort();
        if (!(guess[i].score >= 0 && guess[i].score <= 1)) std::abort();
        if (i > 0 && guess[i].score > guess[i - 1].score + 1e-12) std::abort();
    }
    const int64_t least = 1 + input[0] % 200;
    const int64_t base = int64_t{input[0]} << 32;
    int64_t last_end = base - 1;
    for (const FoundRegion& r : scan_bytes(bytes, length, base, least)) {
        if (r.start <= last_end || r.end > base + length || r.end - r.start < least) std::abort();
        if (r.width_bits < 1 || r.width_bits > GUESS_MAX_WIDTH || !(r.score >= 0 && r.score <= 1)) std::abort();
        last_end = r.end;
    }
    return 0;
}
