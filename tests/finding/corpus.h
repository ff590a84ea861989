// corpus.h: a corpus of files with 1-bit graphics placed at known positions
// inside filler, built from real data on the machine, for measuring how well
// graphics are found. Every choice comes from the generator passed in, so a
// seed gives the same corpus again.
//
// Graphics and filler come from makers in a list: another data source drops
// in as one more entry of corpus_sources().
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

// Sources from the data the set-up installs, each place overridable by an
// environment variable (for a corpus built the same way from other data):
//   BITLOUPE_CORPUS_FONTS  a folder of PSF fonts, *.psf or *.psf.gz (/usr/share/consolefonts)
//   BITLOUPE_CORPUS_TEXT   a folder of text files (/usr/share/common-licenses)
//   BITLOUPE_CORPUS_CODE   an ELF program whose .text is the machine code (/usr/bin/bash)
// `why` names what could not be read (the sources are then incomplete).
CorpusSources corpus_sources(std::string& why);

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
// min_bytes .. max_bytes each at random places, makers chosen in turn.
CorpusFile make_corpus_file(const CorpusSources& sources, size_t filler, Random& random, int64_t size,
                            int32_t regions, int64_t min_bytes, int64_t max_bytes);
