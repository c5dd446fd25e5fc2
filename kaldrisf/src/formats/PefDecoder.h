// Pentax PEF (and the same files from Ricoh-branded bodies): a TIFF file
// whose IFD0 holds the raw data, uncompressed (16-bit words or MSB-first
// packed) or in Pentax's Huffman coding; the EXIF maker note ("AOC\0" or
// "PENTAX \0") gives black (0x200), the as-shot balance (0x201), the Huffman
// table (0x220) and the large JPEG preview (0x3, 0x4).
//
// Pixel-shift files carry four frames of the same size, IFD0's and one in
// each of three further directories (sub-IFDs of IFD0 or later IFDs of the
// chain, in file order). Each is a frame of its own; with
// KALDRIS_PROC_4SHOT_MERGE they are merged into one frame of four values a
// pixel (R, G, B, G2). No maker-note tag we know records how the sensor
// moved, so the merge takes the order the cameras are described to use: the
// scene point at raw (row, col) lies at (row, col) in frame 1, (row, col+1)
// in frame 2, (row+1, col+1) in frame 3 and (row+1, col) in frame 4, which
// puts each of the four filter colours over it once. At the last row and
// column the neighbour two back stands in (same colour). Frames that differ
// in size are not merged.
#ifndef KALDRIS_PEFDECODER_H
#define KALDRIS_PEFDECODER_H

#include "decompress/PentaxHuffman.h"
#include "formats/FormatDecoder.h"

#include <atomic>
#include <string>

namespace kaldris {

class PefDecoder : public FormatDecoder {
public:
    // A TIFF file, no DNG, with a Pentax maker note or a Pentax, Ricoh or
    // Asahi Make. `make` is the Make in lower case.
    static bool recognises(const TiffTree &tree, const std::string &make);

    const char *name() const override { return "pentax_pef"; }
    void open(const ByteStream &file, TiffTree tree, kaldris_data_t &d) override;
    void unpack(kaldris_data_t &d, std::vector<float> &floats) override;

    uint64_t thumbOffset() const override { return m_thumbOffset; }
    uint64_t thumbLength() const override { return m_thumbLength; }

    // Where the sensor sits in frame k (0..3) relative to frame 1: the
    // scene point at raw (row, col) is at (row + dy, col + dx) in frame k.
    static void shiftOf(int frame, int &dy, int &dx);

private:
    struct Frame {
        const TiffIfd *ifd = nullptr;
        uint32_t width = 0, height = 0, bits = 0;
        unsigned compression = 0;
        uint64_t offset = 0, length = 0;   // the data: the first strip to the end of the last
        bool words = false;                // uncompressed 16-bit words (else packed)
    };

    void collectFrames();
    bool readFrame(const TiffIfd &ifd, Frame &f) const;
    void readLevels(kaldris_data_t &d, const struct CameraEntry *cam);
    void findThumbnail(kaldris_data_t &d);
    bool mergeable() const;
    // Counts in `errors` each part the data do not cover or decode.
    void decodeFrame(const Frame &f, uint16_t *dst, bool parallel, int threads, std::atomic<unsigned> &errors) const;
    void merge(const uint16_t *const frames[4], uint16_t *out, const kaldris_data_t &d) const;

    ByteStream m_file;
    TiffTree m_tree;
    std::vector<Frame> m_frames;
    size_t m_selected = 0;
    bool m_merge = false;
    unsigned m_filters = 0;                // the mosaic the merged frames were taken with
    PentaxHuffmanTable m_table{};
    bool m_haveTable = false;
    uint64_t m_noteBase = 0;               // what the note's pointers count from
    uint64_t m_thumbOffset = 0, m_thumbLength = 0;
};

}

#endif
