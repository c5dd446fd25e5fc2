// DNG: turns the IFD tree of a DNG file into the data block (open) and its
// selected frame into one of the three raw buffers (unpack).
#ifndef KALDRIS_DNGDECODER_H
#define KALDRIS_DNGDECODER_H

#include "Kaldris.h"
#include "formats/DngOpcodeList.h"
#include "formats/FormatDecoder.h"
#include "tiff/TiffParser.h"

#include <vector>

namespace kaldris {

class DngDecoder : public FormatDecoder {
public:
    enum Kind { Raw, Enhanced, Preview };

    const char *name() const override { return "dng"; }
    unsigned infoFlags() const override { return m_hasCurve ? unsigned(KALDRIS_DECODER_HASCURVE) : 0u; }
    void open(const ByteStream &file, TiffTree tree, kaldris_data_t &d) override;
    void unpack(kaldris_data_t &d, std::vector<float> &floats) override;

    // Re-derives black, cblack, maximum and linear_max at `scale` times the
    // file's levels (float data rescaled by convertFloatToInt); the maximum
    // is `dataMax` x scale when given (float data), else the white level.
    void applyLevels(kaldris_data_t &d, double scale, double dataMax = -1) const override;

    bool hasCurve() const { return m_hasCurve; }
    bool floatingPoint() const override { return m_f.floatData; }
    uint64_t thumbOffset() const override { return m_thumbOffset; }
    uint64_t thumbLength() const override { return m_thumbLength; }
    const DngOpcodeList &opcodeList(int stage) const { return m_opcodes[stage]; }
    bool hasRenderOpcodes(const kaldris_data_t &d) const override;
    void applyRenderOpcodes(kaldris_data_t &d, uint16_t *rgb, int width, int height, int colours) const override;
    // Bytes of raw data the selected frame needs once unpacked.
    uint64_t unpackedBytes() const;

private:
    struct Block {
        uint64_t offset = 0, length = 0;
    };
    struct FrameIfd {
        const TiffIfd *ifd;
        Kind kind;
    };
    struct Frame {
        const TiffIfd *ifd = nullptr;
        Kind kind = Raw;
        uint32_t width = 0, height = 0, spp = 1, bits = 16;
        uint32_t compression = 1, photometric = 0, predictor = 1;
        bool floatData = false;
        bool lossyJpeg = false;      // compression 7 that holds a baseline JPEG, or 34892
        bool tiled = false;
        uint32_t blockWidth = 0, blockHeight = 0, across = 1, down = 1;
        std::vector<Block> blocks;
    };

    void collectFrames(const TiffIfd &ifd, unsigned flags);
    void readFrame(const TiffIfd &ifd, Kind kind);
    // Refuses a frame that claims more samples than its bytes can give.
    void checkDataHeld(const Frame &f) const;
    void readIdentity(kaldris_data_t &d) const;
    void readSizes(kaldris_data_t &d);
    void readCfa(kaldris_data_t &d) const;
    void readLevels(kaldris_data_t &d);
    void readColour(kaldris_data_t &d) const;
    void findThumbnail(kaldris_data_t &d);
    void decodeBlocks(kaldris_data_t &d, uint16_t *out, float *floats, bool applyCurve);
    // OpcodeList1 on the data as stored, the tone curve, then OpcodeList2
    // around the levels, as the processing flags ask.
    void applyOpcodes(kaldris_data_t &d, uint16_t *out, bool curveLeft);
    void trimTo(kaldris_data_t &d, int top, int left, int bottom, int right) const;
    // The black of the samples of the first `count` pixels of raw row `row`.
    void blackRow(const kaldris_data_t &d, int row, float *out, int count) const;
    void resetNotes(kaldris_data_t &d) const;

    ByteStream m_file;
    TiffTree m_tree;
    std::vector<FrameIfd> m_frames;
    Frame m_f;
    uint32_t m_activeTop = 0, m_activeLeft = 0, m_activeHeight = 0, m_activeWidth = 0;
    bool m_hasCurve = false;
    // Per-row and per-column black as the file gives them, raw coordinates
    // (zero outside the active area), and at the levels' current scale.
    std::vector<double> m_rowDeltaFile, m_colDeltaFile;
    mutable std::vector<float> m_rowDelta, m_colDelta;
    // Black as the file gives it, raw coordinates.
    std::vector<double> m_black;      // rows x cols (1 sample), or one a sample
    uint32_t m_blackRows = 0, m_blackCols = 0;
    bool m_blackPerSample = false;
    double m_linearLimit = 0;
    double m_white = 0;
    uint64_t m_thumbOffset = 0, m_thumbLength = 0;
    DngOpcodeList m_opcodes[3];
};

}

#endif
