// Canon CR2: a TIFF file whose header carries "CR" and the raw IFD's offset;
// the raw data is one lossless JPEG stream, cut into vertical slices, or a
// subsampled YCbCr stream for sRAW / mRAW. Levels, balance and the visible
// area come from the maker note, else the camera database.
#ifndef KALDRIS_CR2DECODER_H
#define KALDRIS_CR2DECODER_H

#include "decompress/LosslessJpegDecoder.h"
#include "formats/FormatDecoder.h"

namespace kaldris {

struct CameraEntry;

class Cr2Decoder : public FormatDecoder {
public:
    // The CR2 header: TIFF byte order and magic, "CR", major version 2.
    static bool recognises(const ByteStream &file);

    const char *name() const override { return "canon_cr2"; }
    void open(const ByteStream &file, TiffTree tree, kaldris_data_t &d) override;
    void unpack(kaldris_data_t &d, std::vector<float> &floats) override;

    uint64_t thumbOffset() const override { return m_thumbOffset; }
    uint64_t thumbLength() const override { return m_thumbLength; }
    bool isSraw() const override { return m_sraw; }
    int srawMidpoint() const override { return m_sraw ? 1 << (m_jpeg.precision - 1) : 0; }

private:
    const TiffIfd *findRawIfd() const;
    const TiffIfd *m_rawIfd = nullptr;
    void readColorData();
    void readSizes(kaldris_data_t &d, const CameraEntry *cam);
    void findThumbnail(kaldris_data_t &d);
    void measureBlack(kaldris_data_t &d) const;
    void convertSraw(kaldris_data_t &d, const uint16_t *stream, uint16_t (*out)[3]) const;

    ByteStream m_file;
    TiffTree m_tree;
    uint64_t m_rawOffset = 0, m_rawLength = 0;
    LosslessJpegHeader m_jpeg{};
    JpegSlices m_slices{};
    uint32_t m_rowSamples = 0, m_rows = 0;   // the stream's samples as the slices lay them out
    bool m_sraw = false;
    uint32_t m_width = 0, m_height = 0;      // sRAW image size in pixels
    // From the colour data: as-shot RGGB levels, per-channel black, white.
    bool m_haveBalance = false;
    double m_balance[4] = {1, 1, 1, 1};
    bool m_haveBlack = false;
    unsigned m_black[4] = {0, 0, 0, 0};
    unsigned m_white = 0;
    // Masked areas whose pixels measure black, raw coordinates.
    struct Area {
        uint32_t x, y, w, h;
    };
    std::vector<Area> m_blackAreas;
    unsigned m_dbBlack = 0;
    bool m_haveDbBlack = false;
    uint64_t m_thumbOffset = 0, m_thumbLength = 0;
};

}

#endif
