// Safe addressing of a FrameView: the part of the frame that really lies in
// the buffer, 64-bit element offsets, and the channel of every element of a
// row (48-periodic, so one small table serves a whole row).
#ifndef FRAMEACCESS_H
#define FRAMEACCESS_H

#include "FrameView.h"

#include <algorithm>
#include <cstdint>

class FrameAccess
{
public:
    explicit FrameAccess(const FrameView &f)
        : view(f)
    {
        comps = (f.components == 3 || f.components == 4) ? f.components : 1;
        stride = (f.pitch / size_t(comps)) * size_t(comps);
        const int64_t pixelsPerRow = int64_t(f.pitch / size_t(comps));
        int64_t w = std::min<int64_t>(f.width, pixelsPerRow - f.originCol);
        int64_t h = std::min<int64_t>(f.height, int64_t(f.rawHeight) - f.originRow);
        if (!f.data || f.originRow < 0 || f.originCol < 0 || w < 0 || h < 0)
            w = h = 0;
        usableW = int(std::max<int64_t>(0, w));
        usableH = int(std::max<int64_t>(0, h));
        nch = std::clamp(f.channels, 0, 4);
    }

    int width() const { return usableW; }
    int height() const { return usableH; }
    int components() const { return comps; }
    int channels() const { return nch; }
    bool cfa() const { return comps == 1; }

    // First element of frame pixel (row, col); the caller keeps both inside.
    const unsigned short *pixel(int row, int col) const
    {
        return view.data + size_t(int64_t(row) + view.originRow) * stride
             + size_t(int64_t(col) + view.originCol) * size_t(comps);
    }

    // Channel of element i of the row that starts at frame column `left`:
    // out[i % 48]. For component layouts that is the component index, since
    // 48 is a multiple of 3 and 4.
    void rowChannels(int row, int left, unsigned char out[48]) const
    {
        if (comps == 1 && view.colourTable) {
            const unsigned char *base = view.colourTable->data() + size_t(((row % 48) + 48) % 48) * 48;
            const int shift = ((left % 48) + 48) % 48;
            std::copy(base + shift, base + 48, out);
            std::copy(base, base + shift, out + (48 - shift));
        } else if (comps == 1) {
            unsigned char base[48];
            if (view.colorAt) {
                for (int c = 0; c < 48; ++c)
                    base[c] = (unsigned char)(view.colorAt(row, c) & 3);
            } else {
                std::fill(base, base + 48, 0);
            }
            const int shift = ((left % 48) + 48) % 48;
            for (int i = 0; i < 48; ++i)
                out[i] = base[(shift + i) % 48];
        } else {
            for (int i = 0; i < 48; ++i)
                out[i] = (unsigned char)(i % comps);
        }
    }

    // The 48 CFA colours of a row, indexed by frame column mod 48.
    void rowColours(int row, unsigned char out[48]) const { rowChannels(row, 0, out); }

private:
    const FrameView &view;
    int comps = 1;
    size_t stride = 0;
    int usableW = 0, usableH = 0, nch = 0;
};

#endif
