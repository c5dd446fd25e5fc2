// The kernels that turn raw values into the ARGB pixels of one tile. Each
// writes only its record's tile, inside the frame, and never allocates.
#ifndef RENDERKERNELS_H
#define RENDERKERNELS_H

#include "OEUEItem.h"
#include "RGBCopyItem.h"
#include "RawCopyItem.h"

inline constexpr uint32_t UnderMark = 0xFF0000FFu;
inline constexpr uint32_t OverMarkChannel = 0xFFFF00FFu;   // single-channel displays
inline constexpr uint32_t OverMarkOverlay = 0xFFFF0000u;   // overlay and 2x2 channel

inline uint32_t grayPixel(uint32_t g)
{
    return 0xFF000000u | ((g & 0xFFu) * 0x010101u);
}

// The byte table of `table` with `mult` applied (v x mult taken mod 65536).
void buildMappedTable(const unsigned short *table, int mult, unsigned char out[65536]);

void paintChannel3(RawCopyItem &item);
void paintChannel4(RawCopyItem &item);
void paintRgb3(RawCopyItem &item);
void paintRgb4(RawCopyItem &item);
void paintProcessedRgb(RGBCopyItem &item);
// The tile-local rectangle paintProcessedRgb paints for the record (its rows
// within the record's), empty when it paints nothing.
QRect processedRgbCover(const RGBCopyItem &item);
void paintSrawChroma(RawCopyItem &item);
void paintMosaicGray(RawCopyItem &item);
void paintMosaicColor(RawCopyItem &item);
void paintMosaicChannel(RawCopyItem &item);
void paintMosaic2x2Composite(RawCopyItem &item);
void paintMosaic2x2Channel(RawCopyItem &item);
void paintExposureOverlay(OEUEItem &item);

#endif
