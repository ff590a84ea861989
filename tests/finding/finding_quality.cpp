// finding_quality: prints the quality table of finding graphics, the tuning
// half and the held-out half side by side.
//   finding_quality [FILES [SEED]]   FILES of 1 MiB per filler kind and half (default 40)
// BITLOUPE_QUALITY_NOTES=1 also prints every miss, false region and edge
// more than a row from the picture's, and, on standard error, the
// firmware's fonts and the regions found in it.
#include <cstdio>
#include <cstdlib>

#include "quality.h"
#include "real_files.h"

int main(int argc, char** argv)
{
    const int64_t files = argc > 1 ? std::strtoll(argv[1], nullptr, 0) : 40;
    const uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 0) : 20261210;
    std::string why;
    const Quality tuning = measure_corpus(TUNING_HALF, files, int64_t{1} << 20, seed, why);
    const Quality held_out = measure_corpus(HELD_OUT_HALF, files, int64_t{1} << 20, seed, why);
    if (!why.empty()) std::fprintf(stderr, "finding_quality: incomplete sources: %s\n", why.c_str());
    std::printf("%lld files of 1 MiB per filler kind and half, seed %llu\n\n", static_cast<long long>(files),
                static_cast<unsigned long long>(seed));
    std::fputs(quality_table(tuning, held_out).c_str(), stdout);
    std::fputs(real_files_table(why).c_str(), stdout);
    if (std::getenv("BITLOUPE_QUALITY_NOTES"))
        for (const Quality* q : {&tuning, &held_out}) {
            std::printf("\n%s half:\n", q == &tuning ? "tuning" : "held-out");
            for (const std::string& note : q->notes) std::printf("  %s\n", note.c_str());
        }
    return why.empty() ? 0 : 1;
}
