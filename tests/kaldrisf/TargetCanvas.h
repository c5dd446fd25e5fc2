// An output buffer for a decompressor's target with a margin around it,
// every sample the sentinel at first, so a test sees any write outside the
// kept region (the row pitch's gap, the rows above and below).
#ifndef TARGETCANVAS_H
#define TARGETCANVAS_H

#include "decompress/SampleTarget.h"

#include <cstring>
#include <vector>

template <class T> class TargetCanvas {
public:
    TargetCanvas(T sentinel, size_t margin, uint32_t rowSamples, uint32_t rows, uint32_t keepSamples,
                 uint32_t keepRows)
        : pitch(rowSamples + margin), m_sentinel(sentinel)
    {
        buf.assign(pitch * (rows + 2), sentinel);
        t.dst = buf.data() + pitch;
        t.pitch = pitch;
        t.rowSamples = rowSamples;
        t.rows = rows;
        t.keepSamples = keepSamples;
        t.keepRows = keepRows;
    }
    TargetCanvas(const TargetCanvas &) = delete;
    TargetCanvas &operator=(const TargetCanvas &) = delete;

    T at(uint32_t r, uint32_t c) const { return t.dst[r * pitch + c]; }

    // Compared bit for bit, which also holds for floats such as -0.0 and NaN.
    bool untouchedOutside() const
    {
        for (size_t i = 0; i < buf.size(); ++i) {
            const long rel = long(i) - long(pitch);
            const long r = rel < 0 ? -1 : rel / long(pitch);
            const long c = rel < 0 ? 0 : rel % long(pitch);
            const bool kept = r >= 0 && r < long(t.keepRows) && c < long(t.keepSamples);
            if (!kept && std::memcmp(&buf[i], &m_sentinel, sizeof(T)) != 0)
                return false;
        }
        return true;
    }

    std::vector<T> buf;
    kaldris::TargetOf<T> t;
    size_t pitch;

private:
    T m_sentinel;
};

#endif
