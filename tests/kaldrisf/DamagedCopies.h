// A file's damaged copies through the library, for the decoder tests'
// campaigns: cut at every `step` bytes, or with a few bytes changed. Each
// copy lies in a buffer of exactly its length, so a read past it shows
// under the sanitizers.
#ifndef DAMAGEDCOPIES_H
#define DAMAGEDCOPIES_H

#include "Kaldris.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <vector>

struct CutCopies {
    int opened = 0;      // copies that opened
    int whole = 0;       // of those, unpacked without decode errors
    int badResults = 0;  // unpack results above 0 (no such code exists)
};

inline CutCopies openCutCopies(const std::vector<uint8_t> &bytes, size_t step)
{
    CutCopies r;
    std::vector<size_t> lengths;
    for (size_t n = 0; n < bytes.size(); n += step)
        lengths.push_back(n);
    lengths.push_back(bytes.size());
    for (size_t n : lengths) {
        std::unique_ptr<uint8_t[]> part(new uint8_t[n + 1]);
        std::memcpy(part.get(), bytes.data(), n);
        Kaldris_fast k;
        if (k.open_buffer(part.get(), n) != 0)
            continue;
        ++r.opened;
        const int rc = k.unpack();
        r.badResults += rc > 0;
        if (rc == 0 && k.imgdata.decode_errors == 0)
            ++r.whole;
        k.unpack_thumb();
    }
    return r;
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
