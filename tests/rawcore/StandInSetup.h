// What a StandInDecoder puts into the data block, and how its calls answer.
#ifndef STANDINSETUP_H
#define STANDINSETUP_H

#include "Kaldris.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct StandInSetup {
    int rawWidth = 20, rawHeight = 14;
    int top = 0, left = 0;
    int width = 0, height = 0;        // 0: the rest of the raw area
    int components = 1;
    unsigned rawPitch = 0;            // 0: rawWidth x 2 x components
    unsigned filters = 0x94949494;    // RGGB from the visible origin
    int colors = 3;
    std::string cdesc = "RGBG";
    std::string make = "Kaldris", model = "Stand-in";
    unsigned maximum = 4095;
    unsigned black = 0;
    unsigned cblack[4] = {0, 0, 0, 0};
    int patternHeight = 0, patternWidth = 0;
    std::vector<unsigned> pattern;    // raw coordinates
    unsigned rawCount = 1;
    unsigned decoderFlags = 0;
    std::vector<ushort> curve;        // empty: identity
    std::vector<ushort> curveAfterUnpack;  // empty: unchanged
    unsigned progressAfterUnpack = 0;
    int openRc = 0, reopenRc = 0, unpackRc = 0;
    unsigned decodeErrors = 0;
    bool noBuffer = false;            // unpack leaves all three buffers null
    bool fakeBuffer = false;          // a buffer pointer without memory behind it (sizes only)
    float shutter = 0, aperture = 0, iso = 0;
    std::vector<uint8_t> thumbnail;   // a JPEG
    bool sraw = false;
    bool phaseOne = false;
    int phaseOneBlack = 0;
    std::function<ushort(int row, int col, int comp)> pixel;  // default: a pattern below 4096
    char xtrans[6][6] = {};
};

#endif
