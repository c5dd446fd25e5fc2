// A file's bytes through open and unpack, as the decoder tests drive it.
#ifndef OPENEDFILE_H
#define OPENEDFILE_H

#include "Kaldris.h"

#include <cstdint>
#include <cstring>
#include <functional>
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

// Every cut of a file every `step` bytes, and the whole file: how many
// opened, how many of those unpacked without decode errors, and how many
// unpacks gave a result above 0 (never a valid one).
struct CutCounts {
    int opened = 0, whole = 0, bad = 0;
};

inline CutCounts openEveryCut(const std::vector<uint8_t> &bytes, size_t step)
{
    CutCounts counts;
    std::vector<size_t> lengths;
    for (size_t n = 0; n < bytes.size(); n += step)
        lengths.push_back(n);
    lengths.push_back(bytes.size());
    for (size_t n : lengths) {
        // An exact-size copy, so a read past the cut is one past the buffer.
        std::unique_ptr<uint8_t[]> part(new uint8_t[n + 1]);
        std::memcpy(part.get(), bytes.data(), n);
        Kaldris_fast k;
        if (k.open_buffer(part.get(), n) != 0)
            continue;
        ++counts.opened;
        const int rc = k.unpack();
        counts.bad += rc > 0;
        if (rc == 0 && k.imgdata.decode_errors == 0)
            ++counts.whole;
        k.unpack_thumb();
    }
    return counts;
}

// `rounds` copies with four random bytes changed; `unpacked` sees each copy
// that opened and unpacked.
inline void openMutatedCopies(const std::vector<uint8_t> &bytes, int rounds, unsigned seed,
                              const std::function<void(Kaldris_fast &)> &unpacked)
{
    std::mt19937 rng(seed);
    for (int round = 0; round < rounds; ++round) {
        std::vector<uint8_t> b = bytes;
        for (int k = 0; k < 4; ++k)
            b[rng() % b.size()] = uint8_t(rng());
        Kaldris_fast k;
        if (k.open_buffer(b.data(), b.size()) == 0 && k.unpack() == 0)
            unpacked(k);
    }
}

#endif
