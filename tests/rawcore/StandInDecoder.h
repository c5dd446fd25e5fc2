// A decoder that opens nothing: it fills the data block from a Setup, so the
// loader's every step and failure can be driven without a raw file.
#ifndef STANDINDECODER_H
#define STANDINDECODER_H

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

class StandInDecoder : public Kaldris_fast
{
public:
    explicit StandInDecoder(const StandInSetup &setup);
    ~StandInDecoder() override;

    int open_qfile(const QString &path, int64_t max_buffered = 1) override;
    int unpack() override;
    int get_decoder_info(kaldris_decoder_info_t *info) const override;
    int is_phaseone_compressed() const override { return s.phaseOne; }
    int is_sraw() const override { return s.sraw; }
    int get_phaseone_blacklevel() override { return s.phaseOneBlack; }
    int is_jpeg_thumb() const override { return !s.thumbnail.empty(); }
    int unpack_thumb() override;
    int adjust_bl() override { return 0; }
    int phase_one_subtract_black(ushort *src, ushort *dest) override;
    int phase_one_correct() override { ++phaseOneCorrections; return 0; }

    ushort pixelValue(int row, int col, int comp) const;

    StandInSetup s;
    std::vector<unsigned> shotsOpened;
    int phaseOneCalls = 0;
    int phaseOneCorrections = 0;
    const ushort *phaseOneSource = nullptr;

private:
    void fillBlock();
    std::vector<ushort> fake;
};

#endif
