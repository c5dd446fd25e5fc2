// A file's bytes through open and unpack, as the decoder tests drive it.
#ifndef OPENEDFILE_H
#define OPENEDFILE_H

#include "Kaldris.h"

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

struct Opened {
    std::unique_ptr<Kaldris_fast> k = std::make_unique<Kaldris_fast>();
    int openRc = 0, unpackRc = 0;
};

inline Opened openAndUnpack(const std::vector<uint8_t> &bytes, unsigned flags = KALDRIS_PROC_DNG_ENHANCED,
                            unsigned frame = 0)
{
    Opened o;
    o.k->imgdata.params.processing_flags = flags;
    o.k->imgdata.params.shot_select = frame;
    o.openRc = o.k->open_buffer(bytes.data(), bytes.size());
    o.unpackRc = o.openRc == 0 ? o.k->unpack() : o.openRc;
    return o;
}

// The unpacked buffer, whole raw area, as one vector of samples.
inline std::vector<uint16_t> unpacked(const Kaldris &k)
{
    const auto &s = k.imgdata.sizes;
    const ushort *p = static_cast<const ushort *>(k.imgdata.rawdata.raw_alloc);
    if (!p)
        return {};
    return std::vector<uint16_t>(p, p + size_t(s.raw_pitch / 2) * s.raw_height);
}

// Copies of `bytes` with a few bytes changed at random, each opened,
// unpacked and rendered: whatever the damage, no crash and no reading out of
// bounds (the sanitizer runs see to the latter).
inline void openMutatedCopies(const std::vector<uint8_t> &bytes, unsigned seed, int rounds)
{
    std::mt19937 rng(seed);
    for (int round = 0; round < rounds; ++round) {
        std::vector<uint8_t> b = bytes;
        for (int k = 0; k < 4; ++k)
            b[rng() % b.size()] = uint8_t(rng());
        Kaldris_fast k;
        if (k.open_buffer(b.data(), b.size()) == 0 && k.unpack() == 0) {
            k.imgdata.params.use_camera_wb = 1;
            k.dcraw_process();
        }
    }
}

#endif
