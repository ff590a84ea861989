// corpus.h: a corpus of files with 1-bit graphics placed at known positions
// inside filler, built from real data on the machine, for measuring how well
// graphics are found. Every choice comes from the generator passed in, so a
// seed gives the same corpus again.
//
// Graphics and filler come from makers in a list: another data source drops
// in as one more entry of corpus_sources().
//
// Every source is split in two halves by its items (a font family, a
// program, a text file; a seed for what is drawn here), never by window:
// the method is tuned on the first and held to its bars on the second.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

using Random = std::mt19937_64;

// A picture: rows of width_bits bits (whole bytes each), one after another.
struct Picture {
    std::vector<uint8_t> bytes;
    int32_t width_bits;
};

enum : int32_t { TUNING_HALF = 0, HELD_OUT_HALF = 1 };
// The half an item named `key` belongs to: a fixed hash of the name (64-bit
// FNV-1a, mixed), so that the split never changes from run to run.
int32_t source_half(const std::string& key);

// Makes a picture of about `want` bytes (fewer when the source has fewer).
using PictureMaker = std::function<Picture(Random& random, int64_t want)>;
// Fills `out` with `count` bytes of filler.
using FillerMaker = std::function<void(Random& random, uint8_t* out, int64_t count)>;

template <typename Maker>
struct Named {
    std::string name;
    Maker make;
};

struct CorpusSources {
    std::vector<Named<PictureMaker>> pictures;
    std::vector<Named<FillerMaker>> fillers;
};

// The sources of one half, from the data the set-up installs, each place
// overridable by an environment variable (for a corpus built the same way
// from other data):
//   BITLOUPE_CORPUS_FONTS     a folder of PSF fonts, *.psf or *.psf.gz (/usr/share/consolefonts)
//   BITLOUPE_CORPUS_UNIFONT   GNU Unifont's .hex file (/usr/share/unifont/unifont.hex)
//   BITLOUPE_CORPUS_PCF       a folder of PCF fonts, *.pcf or *.pcf.gz; the ter-* ones
//                             (Terminus) are used unless the variable is set
//                             (/usr/share/fonts/X11/misc)
//   BITLOUPE_CORPUS_TEXT      a folder of text files (/usr/share/common-licenses)
//   BITLOUPE_CORPUS_PROGRAMS  folders of ELF and PE programs and libraries, separated by ':'
//                             (/usr/bin:/usr/lib/x86_64-linux-gnu)
// `why` names what could not be read (the sources are then incomplete).
CorpusSources corpus_sources(std::string& why, int32_t half = TUNING_HALF);

struct Placement {
    int64_t start;
    int64_t end;  // exclusive
    int32_t width_bits;
    std::string what;  // the picture maker's name
};

struct CorpusFile {
    std::vector<uint8_t> bytes;
    std::vector<Placement> placed;  // in file order, never overlapping
    std::string filler;
};

// A file of `size` bytes of filler `filler` holding `regions` pictures of
// min_bytes .. max_bytes each (spread evenly over the logarithm of the
// size) at random places, makers chosen in turn.
CorpusFile make_corpus_file(const CorpusSources& sources, size_t filler, Random& random, int64_t size,
                            int32_t regions, int64_t min_bytes, int64_t max_bytes);
