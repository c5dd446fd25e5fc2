// Pixel data and structure read back through libtiff, which shares no code
// with the writer.
#include "TestRegistry.h"

#include "DngWriter.h"
#include "FloatDeflateEncoder.h"
#include "JpegFixture.h"
#include "FixtureFolder.h"

#include <QFile>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <jpeglib.h>
#include <tiffio.h>

namespace {

std::vector<uint16_t> unpackMsbFirst(const uint8_t *bytes, size_t rowBytes, int samplesPerRow, int rows, int bits)
{
    std::vector<uint16_t> out;
    out.reserve(size_t(samplesPerRow) * rows);
    for (int r = 0; r < rows; ++r) {
        const uint8_t *row = bytes + size_t(r) * rowBytes;
        uint64_t bitPos = 0;
        for (int i = 0; i < samplesPerRow; ++i) {
            uint32_t v = 0;
            for (int b = 0; b < bits; ++b, ++bitPos)
                v = (v << 1) | ((row[bitPos >> 3] >> (7 - (bitPos & 7))) & 1);
            out.push_back(uint16_t(v));
        }
    }
    return out;
}

// libtiff reads the subdirectory named by IFD0's SubIFDs entry `index`.
bool openSubIfd(TIFF *tif, int index)
{
    uint16_t count = 0;
    void *offsets = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_SUBIFD, &count, &offsets) || index >= count)
        return false;
    const toff_t off = static_cast<const toff_t *>(offsets)[index];
    return TIFFSetSubDirectory(tif, off) != 0;
}

struct TiffCloser {
    TIFF *tif;
    ~TiffCloser() { if (tif) TIFFClose(tif); }
};

// Block (tile or strip) contents as libtiff decodes them, unpacked to values.
std::vector<uint16_t> readBlock(TIFF *tif, uint32_t index, int bits, int samplesPerRow, int rows)
{
    const bool tiled = TIFFIsTiled(tif);
    const tmsize_t size = tiled ? TIFFTileSize(tif) : TIFFStripSize(tif);
    std::vector<uint8_t> buf(size_t(size) + 8);
    const tmsize_t got = tiled ? TIFFReadEncodedTile(tif, index, buf.data(), size)
                               : TIFFReadEncodedStrip(tif, index, buf.data(), size);
    if (got <= 0)
        return {};
    std::vector<uint16_t> out;
    if (bits == 16) {
        out.resize(size_t(got) / 2);
        std::memcpy(out.data(), buf.data(), out.size() * 2);
    } else if (bits == 8) {
        out.assign(buf.begin(), buf.begin() + got);
    } else {
        const size_t rowBytes = (size_t(samplesPerRow) * bits + 7) / 8;
        out = unpackMsbFirst(buf.data(), rowBytes, samplesPerRow, rows, bits);
    }
    return out;
}

uint16_t pattern(int x, int y, int c, int bits)
{
    const uint32_t v = uint32_t(x * 2713 + y * 977 + c * 4099 + ((x * y) % 37) * 53);
    return uint16_t(v & ((1u << bits) - 1));
}

std::vector<uint8_t> decodeJpeg(const std::vector<uint8_t> &data, int &w, int &h, int &comps)
{
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    w = int(cinfo.output_width);
    h = int(cinfo.output_height);
    comps = cinfo.output_components;
    std::vector<uint8_t> out(size_t(w) * h * comps);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.data() + size_t(cinfo.output_scanline) * w * comps;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return out;
}

struct Sof3 {
    int precision = 0, height = 0, width = 0, components = 0, predictor = -1, pt = -1;
    bool restart = false;
};

Sof3 parseLosslessJpeg(const std::vector<uint8_t> &j)
{
    Sof3 s;
    size_t p = 2;
    while (p + 4 <= j.size() && j[p] == 0xFF) {
        const uint8_t m = j[p + 1];
        const size_t len = (size_t(j[p + 2]) << 8) | j[p + 3];
        if (m == 0xC3) {
            s.precision = j[p + 4];
            s.height = (j[p + 5] << 8) | j[p + 6];
            s.width = (j[p + 7] << 8) | j[p + 8];
            s.components = j[p + 9];
        } else if (m == 0xDD) {
            s.restart = true;
        } else if (m == 0xDA) {
            const int n = j[p + 4];
            s.predictor = j[p + 5 + 2 * n];
            s.pt = j[p + 7 + 2 * n] & 15;
            break;
        }
        p += 2 + len;
    }
    return s;
}

} // namespace

class DngWriterTest : public QObject {
    Q_OBJECT

    FixtureFolder m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        TIFFSetWarningHandler(nullptr);
    }

    void integerPixels_data()
    {
        QTest::addColumn<bool>("bigEndian");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("spp");
        QTest::addColumn<bool>("tiles");
        QTest::addColumn<int>("blockW");   // tile width (strips: unused)
        QTest::addColumn<int>("blockH");   // tile height or rows per strip (0: one strip)
        QTest::addColumn<int>("padding");

        QTest::newRow("le 16 one strip") << false << 16 << 1 << false << 0 << 0 << 0;
        QTest::newRow("be 16 strips") << true << 16 << 1 << false << 0 << 7 << 0;
        QTest::newRow("le 8 rgb strips") << false << 8 << 3 << false << 0 << 16 << 0;
        QTest::newRow("be 16 tiles, edge tiles") << true << 16 << 1 << true << 32 << 16 << 0;
        QTest::newRow("le 16 linear 3, tiles") << false << 16 << 3 << true << 48 << 32 << 0;
        QTest::newRow("le 12 packed strips") << false << 12 << 1 << false << 0 << 9 << 0;
        QTest::newRow("be 12 packed tiles, repeated edge") << true << 12 << 1 << true << 48 << 16 << -1;
        QTest::newRow("le 10 packed tiles") << false << 10 << 1 << true << 32 << 32 << 0;
        QTest::newRow("be 14 packed strips") << true << 14 << 1 << false << 0 << 13 << 0;
        QTest::newRow("le 14 packed, 4 samples, tiles") << false << 14 << 4 << true << 16 << 16 << 5;
    }

    void integerPixels()
    {
        QFETCH(bool, bigEndian);
        QFETCH(int, bits);
        QFETCH(int, spp);
        QFETCH(bool, tiles);
        QFETCH(int, blockW);
        QFETCH(int, blockH);
        QFETCH(int, padding);

        const int W = 101, H = 61;   // neither divides the tile sizes
        DngDescription d;
        d.bigEndian = bigEndian;
        DngFrame f = spp == 1 ? DngFrame::cfa(W, H, bits, [bits](int x, int y) { return pattern(x, y, 0, bits); })
                              : DngFrame::linearRaw(W, H, spp, bits,
                                                    [bits](int x, int y, int c) { return pattern(x, y, c, bits); });
        f.storage = tiles ? DngFrame::Storage::Tiles : DngFrame::Storage::Strips;
        if (tiles) {
            f.tileWidth = uint32_t(blockW);
            f.tileHeight = uint32_t(blockH);
        } else {
            f.rowsPerStrip = uint32_t(blockH);
        }
        f.tilePadding = padding;
        d.frames.push_back(f);
        const QString path = m_dir.write(d, "pixels.dng");
        QVERIFY(!path.isEmpty());

        // "c": no strip chopping, libtiff sees the strips as written.
        TIFF *tif = TIFFOpen(path.toLocal8Bit().constData(), "rc");
        QVERIFY(tif);
        TiffCloser closer{tif};
        QCOMPARE(bool(TIFFIsBigEndian(tif)), bigEndian);
        QVERIFY(openSubIfd(tif, 0));
        uint32_t w = 0, h = 0;
        uint16_t bps = 0, sppRead = 0, photometric = 0, compression = 0;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
        TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bps);
        TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &sppRead);
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
        TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
        QCOMPARE(w, uint32_t(W));
        QCOMPARE(h, uint32_t(H));
        QCOMPARE(int(bps), bits);
        QCOMPARE(int(sppRead), spp);
        QCOMPARE(int(photometric), spp == 1 ? 32803 : 34892);
        QCOMPARE(int(compression), 1);
        QCOMPARE(bool(TIFFIsTiled(tif)), tiles);

        const int bw = tiles ? blockW : W;
        const int bh = tiles ? blockH : (blockH ? blockH : H);
        const int across = (W + bw - 1) / bw, down = (H + bh - 1) / bh;
        QCOMPARE(int(tiles ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif)), across * down);

        for (int by = 0; by < down; ++by) {
            for (int bx = 0; bx < across; ++bx) {
                const int rows = tiles ? bh : std::min(bh, H - by * bh);
                const std::vector<uint16_t> got = readBlock(tif, uint32_t(by * across + bx), bits, bw * spp, rows);
                QVERIFY(got.size() >= size_t(bw) * rows * spp);
                for (int r = 0; r < rows; ++r) {
                    for (int x = 0; x < bw; ++x) {
                        for (int c = 0; c < spp; ++c) {
                            int ix = bx * bw + x, iy = by * bh + r;
                            int want;
                            if (ix < W && iy < H)
                                want = f.samples[(size_t(iy) * W + ix) * spp + c];
                            else if (padding >= 0)
                                want = padding;
                            else
                                want = f.samples[(size_t(std::min(iy, H - 1)) * W + std::min(ix, W - 1)) * spp + c];
                            const int have = got[(size_t(r) * bw + x) * spp + c];
                            if (have != want)
                                QFAIL(qPrintable(QString("block %1,%2 pixel %3,%4 sample %5: %6, want %7")
                                                     .arg(bx).arg(by).arg(x).arg(r).arg(c).arg(have).arg(want)));
                        }
                    }
                }
            }
        }
    }

    // Where each frame ends up: IFD0, SubIFDs, the IFD0 chain.
    void placements()
    {
        DngDescription d;
        d.bigEndian = true;
        DngFrame raw = DngFrame::cfa(40, 30, 16, [](int x, int y) { return uint16_t(x + 100 * y); });
        raw.placement = DngFrame::Placement::Ifd0;
        DngFrame sub = DngFrame::linearRaw(20, 10, 3, 8, [](int x, int, int c) { return uint16_t(x + c); });
        sub.newSubfileType = DngFrame::SubfileEnhanced;
        DngFrame chained = DngFrame::linearRaw(8, 6, 1, 8, [](int x, int y, int) { return uint16_t(x * y); });
        chained.placement = DngFrame::Placement::ChainedIfd;
        chained.newSubfileType = DngFrame::SubfilePreview;
        d.frames = {raw, sub, chained, chained};
        DngLayout layout;
        const QString path = m_dir.write(d, "placements.dng", &layout);
        QVERIFY(!path.isEmpty());
        QCOMPARE(layout.frames[0].ifdOffset, layout.ifd0Offset);

        TIFF *tif = TIFFOpen(path.toLocal8Bit().constData(), "r");
        QVERIFY(tif);
        TiffCloser closer{tif};
        QCOMPARE(int(TIFFNumberOfDirectories(tif)), 3);
        uint32_t w = 0, type = 99;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(tif, TIFFTAG_SUBFILETYPE, &type);
        QCOMPARE(w, 40u);
        QCOMPARE(type, 0u);
        QVERIFY(TIFFReadDirectory(tif));
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(tif, TIFFTAG_SUBFILETYPE, &type);
        QCOMPARE(w, 8u);
        QCOMPARE(type, 1u);
        QVERIFY(TIFFSetDirectory(tif, 0));
        QVERIFY(openSubIfd(tif, 0));
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(tif, TIFFTAG_SUBFILETYPE, &type);
        QCOMPARE(w, 20u);
        QCOMPARE(type, 0x10u);
    }

    void floatDeflate_data()
    {
        QTest::addColumn<bool>("bigEndian");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("predictor");
        QTest::addColumn<bool>("tiles");
        QTest::addColumn<int>("spp");

        QTest::newRow("le 32 fp predictor, tiles") << false << 32 << 3 << true << 1;
        QTest::newRow("be 32 fp predictor, strips, rgb") << true << 32 << 3 << false << 3;
        QTest::newRow("le 16 fp predictor, tiles") << false << 16 << 3 << true << 1;
        QTest::newRow("be 16 fp predictor, strips") << true << 16 << 3 << false << 3;
        QTest::newRow("le 32 no predictor") << false << 32 << 1 << true << 1;
        QTest::newRow("be 16 no predictor") << true << 16 << 1 << false << 1;
        QTest::newRow("le 24 fp predictor") << false << 24 << 3 << true << 1;
    }

    void floatDeflate()
    {
        QFETCH(bool, bigEndian);
        QFETCH(int, bits);
        QFETCH(int, predictor);
        QFETCH(bool, tiles);
        QFETCH(int, spp);

        const int W = 37, H = 21;
        DngDescription d;
        d.bigEndian = bigEndian;
        DngFrame f;
        f.width = W;
        f.height = H;
        f.samplesPerPixel = uint16_t(spp);
        f.photometric = spp == 1 ? DngFrame::PhotometricCfa : DngFrame::PhotometricLinearRaw;
        f.bitsPerSample = uint16_t(bits);
        f.compression = 8;
        f.floatPredictor = predictor;
        f.storage = tiles ? DngFrame::Storage::Tiles : DngFrame::Storage::Strips;
        f.tileWidth = 16;
        f.tileHeight = 16;
        f.rowsPerStrip = 8;
        for (int i = 0; i < W * H * spp; ++i)
            f.floatSamples.push_back(float(i % 97) * 0.0371f - 1.5f + float(i / 97) * 1e-3f);
        d.frames.push_back(f);
        const QString path = m_dir.write(d, "float.dng");
        QVERIFY(!path.isEmpty());

        TIFF *tif = TIFFOpen(path.toLocal8Bit().constData(), "r");
        QVERIFY(tif);
        TiffCloser closer{tif};
        QVERIFY(openSubIfd(tif, 0));
        uint16_t format = 0, pred = 0;
        TIFFGetField(tif, TIFFTAG_SAMPLEFORMAT, &format);
        TIFFGetField(tif, TIFFTAG_PREDICTOR, &pred);
        QCOMPARE(int(format), 3);
        QCOMPARE(int(pred), predictor);
        const int bw = tiles ? 16 : W, bh = tiles ? 16 : 8;
        const int across = (W + bw - 1) / bw, down = (H + bh - 1) / bh;
        const int bytes = bits / 8;
        const tmsize_t size = tiles ? TIFFTileSize(tif) : TIFFStripSize(tif);
        std::vector<uint8_t> buf(static_cast<size_t>(size));
        bool readable = true;
        for (int by = 0; by < down && readable; ++by) {
            for (int bx = 0; bx < across; ++bx) {
                const uint32_t index = uint32_t(by * across + bx);
                const tmsize_t got = tiles ? TIFFReadEncodedTile(tif, index, buf.data(), size)
                                           : TIFFReadEncodedStrip(tif, index, buf.data(), size);
                if (got <= 0) {
                    readable = false;
                    break;
                }
                const int rows = tiles ? bh : std::min(bh, H - by * bh);
                for (int r = 0; r < rows; ++r) {
                    for (int x = 0; x < bw * spp; ++x) {
                        const int ix = bx * bw * spp + x, iy = by * bh + r;
                        if (ix >= W * spp || iy >= H)
                            continue;
                        // libtiff hands back host-order samples for 16 and 32 bits,
                        // 24-bit ones in file order.
                        const uint8_t *p = buf.data() + (size_t(r) * bw * spp + x) * bytes;
                        uint32_t have = 0;
                        if (bits == 16) {
                            uint16_t v;
                            std::memcpy(&v, p, 2);
                            have = v;
                        } else if (bits == 32) {
                            std::memcpy(&have, p, 4);
                        } else {
                            have = bigEndian ? (p[0] << 16) | (p[1] << 8) | p[2] : (p[2] << 16) | (p[1] << 8) | p[0];
                        }
                        const uint32_t want = FloatDeflateEncoder::toBits(f.floatSamples[size_t(iy) * W * spp + ix], bits);
                        QCOMPARE(have, want);
                    }
                }
            }
        }
        if (!readable) {
            if (bits == 24)
                QSKIP("this libtiff cannot read 24-bit floats");
            QFAIL("libtiff could not decode a block");
        }
    }

    void lossyJpegTiles()
    {
        const int W = 70, H = 40;
        DngDescription d;
        DngFrame f = DngFrame::linearRaw(W, H, 3, 8, [](int x, int y, int c) {
            return uint16_t(c == 0 ? 40 + 2 * x : c == 1 ? 60 + 3 * y : 128);
        });
        f.compression = 34892;
        f.storage = DngFrame::Storage::Tiles;
        f.tileWidth = 32;
        f.tileHeight = 32;
        f.tilePadding = -1;
        d.frames.push_back(f);
        const QString path = m_dir.write(d, "lossy.dng");
        QVERIFY(!path.isEmpty());

        TIFF *tif = TIFFOpen(path.toLocal8Bit().constData(), "r");
        QVERIFY(tif);
        TiffCloser closer{tif};
        QVERIFY(openSubIfd(tif, 0));
        QCOMPARE(int(TIFFNumberOfTiles(tif)), 6);
        int worst = 0;
        for (uint32_t t = 0; t < 6; ++t) {
            uint64_t *counts = nullptr;
            QVERIFY(TIFFGetField(tif, TIFFTAG_TILEBYTECOUNTS, &counts));
            std::vector<uint8_t> bytes(size_t(counts[t]));
            QCOMPARE(TIFFReadRawTile(tif, t, bytes.data(), tmsize_t(bytes.size())), tmsize_t(bytes.size()));
            int w = 0, h = 0, comps = 0;
            const std::vector<uint8_t> rgb = decodeJpeg(bytes, w, h, comps);
            QCOMPARE(w, 32);
            QCOMPARE(h, 32);
            QCOMPARE(comps, 3);
            const int tx = int(t % 3) * 32, ty = int(t / 3) * 32;
            for (int y = 0; y < 32 && ty + y < H; ++y)
                for (int x = 0; x < 32 && tx + x < W; ++x)
                    for (int c = 0; c < 3; ++c) {
                        const int want = f.samples[(size_t(ty + y) * W + tx + x) * 3 + c];
                        worst = std::max(worst, std::abs(int(rgb[(size_t(y) * 32 + x) * 3 + c]) - want));
                    }
        }
        QVERIFY2(worst <= 12, qPrintable(QString("JPEG error %1").arg(worst)));
    }

    void losslessJpegLayout_data()
    {
        QTest::addColumn<int>("spp");
        QTest::addColumn<int>("components");
        QTest::addColumn<int>("rowsPerJpegRow");
        QTest::addColumn<int>("predictor");
        QTest::addColumn<int>("pt");
        QTest::addColumn<bool>("tiles");
        QTest::addColumn<int>("restart");
        QTest::addColumn<int>("jpegW");
        QTest::addColumn<int>("jpegH");

        // blocks: tiles 64x32, strips 96 wide x 16 rows
        QTest::newRow("cfa tile, 2 components") << 1 << 2 << 1 << 1 << 0 << true << 0 << 32 << 32;
        QTest::newRow("cfa tile, 1 component") << 1 << 1 << 1 << 6 << 0 << true << 0 << 64 << 32;
        QTest::newRow("cfa tile, two rows a JPEG row") << 1 << 1 << 2 << 1 << 0 << true << 0 << 128 << 16;
        QTest::newRow("cfa tile, 4 components over two rows") << 1 << 4 << 2 << 7 << 2 << true << 64 << 32 << 16;
        QTest::newRow("linear rgb strip, 3 components") << 3 << 3 << 1 << 1 << 0 << false << 0 << 96 << 16;
        QTest::newRow("cfa strip, 2 components, pt 1") << 1 << 2 << 1 << 4 << 1 << false << 5 << 48 << 16;
    }

    void losslessJpegLayout()
    {
        QFETCH(int, spp);
        QFETCH(int, components);
        QFETCH(int, rowsPerJpegRow);
        QFETCH(int, predictor);
        QFETCH(int, pt);
        QFETCH(bool, tiles);
        QFETCH(int, restart);
        QFETCH(int, jpegW);
        QFETCH(int, jpegH);

        const int W = 96, H = 48;
        DngDescription d;
        d.bigEndian = spp == 3;
        DngFrame f = spp == 1 ? DngFrame::cfa(W, H, 14, [](int x, int y) { return pattern(x, y, 0, 14); })
                              : DngFrame::linearRaw(W, H, spp, 14, [](int x, int y, int c) { return pattern(x, y, c, 14); });
        f.compression = 7;
        f.storage = tiles ? DngFrame::Storage::Tiles : DngFrame::Storage::Strips;
        f.tileWidth = 64;
        f.tileHeight = 32;
        f.rowsPerStrip = 16;
        f.ljpegComponents = components;
        f.ljpegRowsPerJpegRow = rowsPerJpegRow;
        f.ljpegPredictor = predictor;
        f.ljpegPointTransform = pt;
        f.ljpegRestartInterval = restart;
        d.frames.push_back(f);
        const QString path = m_dir.write(d, "ljpeg.dng");
        QVERIFY(!path.isEmpty());

        TIFF *tif = TIFFOpen(path.toLocal8Bit().constData(), "r");
        QVERIFY(tif);
        TiffCloser closer{tif};
        QVERIFY(openSubIfd(tif, 0));
        uint16_t compression = 0;
        TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
        QCOMPARE(int(compression), 7);
        const uint32_t blocks = tiles ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
        QCOMPARE(int(blocks), tiles ? 4 : 3);
        uint64_t *counts = nullptr;
        QVERIFY(TIFFGetField(tif, tiles ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS, &counts));
        for (uint32_t b = 0; b < blocks; ++b) {
            std::vector<uint8_t> bytes(size_t(counts[b]));
            const tmsize_t got = tiles ? TIFFReadRawTile(tif, b, bytes.data(), tmsize_t(bytes.size()))
                                       : TIFFReadRawStrip(tif, b, bytes.data(), tmsize_t(bytes.size()));
            QCOMPARE(got, tmsize_t(bytes.size()));
            QVERIFY(bytes.size() > 4 && bytes[0] == 0xFF && bytes[1] == 0xD8);
            QVERIFY(bytes[bytes.size() - 2] == 0xFF && bytes[bytes.size() - 1] == 0xD9);
            const Sof3 s = parseLosslessJpeg(bytes);
            QCOMPARE(s.precision, 14);
            QCOMPARE(s.width, jpegW);
            QCOMPARE(s.height, jpegH);
            QCOMPARE(s.components, components);
            QCOMPARE(s.predictor, predictor);
            QCOMPARE(s.pt, pt);
            QCOMPARE(s.restart, restart > 0);
        }
        const std::vector<uint16_t> expected = f.expectedSamples();
        for (size_t i = 0; i < expected.size(); ++i)
            QCOMPARE(int(expected[i]), (f.samples[i] >> pt) << pt);
    }

    void jpegPreviews_data()
    {
        QTest::addColumn<int>("compression");
        QTest::addColumn<bool>("inIfd0");
        QTest::newRow("compression 7 in a SubIFD") << 7 << false;
        QTest::newRow("compression 7 in IFD0") << 7 << true;
        QTest::newRow("compression 6 in a SubIFD") << 6 << false;
    }

    void jpegPreviews()
    {
        QFETCH(int, compression);
        QFETCH(bool, inIfd0);

        std::vector<uint8_t> rgb(size_t(96) * 64 * 3);
        for (size_t i = 0; i < rgb.size(); ++i)
            rgb[i] = uint8_t((i * 7) % 251);
        const std::vector<uint8_t> jpeg = JpegFixture::encodeRgb(rgb.data(), 96, 64, 85);
        QVERIFY(!jpeg.empty());
        DngDescription d;
        d.frames.push_back(DngFrame::cfa(32, 32, 16, [](int x, int y) { return uint16_t(x * y); }));
        DngFrame preview = DngFrame::jpegPreview(jpeg, inIfd0 ? DngFrame::Placement::Ifd0 : DngFrame::Placement::SubIfd);
        preview.compression = uint16_t(compression);
        QCOMPARE(preview.width, 96u);
        QCOMPARE(preview.height, 64u);
        d.frames.push_back(preview);
        const QString path = m_dir.write(d, "preview.dng");
        QVERIFY(!path.isEmpty());

        TIFF *tif = TIFFOpen(path.toLocal8Bit().constData(), "r");
        QVERIFY(tif);
        TiffCloser closer{tif};
        if (!inIfd0)
            QVERIFY(openSubIfd(tif, 1));
        uint32_t type = 0;
        uint16_t photometric = 0;
        TIFFGetField(tif, TIFFTAG_SUBFILETYPE, &type);
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
        QCOMPARE(type, 1u);
        QCOMPARE(int(photometric), PHOTOMETRIC_YCBCR);
        uint64_t *offsets = nullptr, *counts = nullptr;
        QVERIFY(TIFFGetField(tif, TIFFTAG_STRIPOFFSETS, &offsets));
        QVERIFY(TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts));
        QCOMPARE(counts[0], uint64_t(jpeg.size()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray all = file.readAll();
        QCOMPARE(all.mid(qsizetype(offsets[0]), qsizetype(jpeg.size())),
                 QByteArray(reinterpret_cast<const char *>(jpeg.data()), qsizetype(jpeg.size())));
        if (compression == 6) {
            uint64_t interchange = 0;
            QVERIFY(TIFFGetField(tif, TIFFTAG_JPEGIFOFFSET, &interchange));
            QCOMPARE(interchange, offsets[0]);
        } else {
            // libtiff's own JPEG codec must accept the directory as a YCbCr JPEG image.
            std::vector<uint32_t> rgba(size_t(96) * 64);
            QVERIFY(TIFFReadRGBAImage(tif, 96, 64, rgba.data(), 0));
        }
    }

    void brokenFiles()
    {
        DngDescription d;
        DngFrame f = DngFrame::cfa(64, 64, 16, [](int x, int y) { return uint16_t(x + y); });
        f.storage = DngFrame::Storage::Tiles;
        f.tileWidth = 32;
        f.tileHeight = 32;
        f.offsetOverride[1] = 0x7ffffff0;
        f.byteCountOverride[2] = 0x10000000;
        f.blockHook = [](int block, std::vector<uint8_t> &bytes) {
            if (block == 3)
                bytes.resize(100);
        };
        d.frames.push_back(f);
        DngLayout layout;
        const QString path = m_dir.write(d, "broken.dng", &layout);
        QVERIFY(!path.isEmpty());
        QCOMPARE(layout.frames[0].blockSizes[3], 100u);

        TIFF *tif = TIFFOpen(path.toLocal8Bit().constData(), "r");
        QVERIFY(tif);
        TiffCloser closer{tif};
        QVERIFY(openSubIfd(tif, 0));
        uint64_t *offsets = nullptr, *counts = nullptr;
        QVERIFY(TIFFGetField(tif, TIFFTAG_TILEOFFSETS, &offsets));
        QVERIFY(TIFFGetField(tif, TIFFTAG_TILEBYTECOUNTS, &counts));
        QCOMPARE(offsets[0], uint64_t(layout.frames[0].blockOffsets[0]));
        QCOMPARE(offsets[1], uint64_t(0x7ffffff0));
        QCOMPARE(counts[2], uint64_t(0x10000000));
        QCOMPARE(counts[3], uint64_t(100));
        std::vector<uint8_t> buf(size_t(TIFFTileSize(tif)));
        QVERIFY(TIFFReadEncodedTile(tif, 0, buf.data(), tmsize_t(buf.size())) > 0);
        QVERIFY(TIFFReadEncodedTile(tif, 1, buf.data(), tmsize_t(buf.size())) <= 0);
    }

    void wrongBlockCount_data()
    {
        QTest::addColumn<int>("delta");
        QTest::newRow("one tile missing") << -1;
        QTest::newRow("two extra tiles") << 2;
    }

    void wrongBlockCount()
    {
        QFETCH(int, delta);
        DngDescription d;
        DngFrame f = DngFrame::cfa(64, 64, 16, [](int x, int y) { return uint16_t(x + y); });
        f.storage = DngFrame::Storage::Tiles;
        f.tileWidth = 32;
        f.tileHeight = 32;
        f.blockCountDelta = delta;
        d.frames.push_back(f);
        DngLayout layout;
        const std::vector<uint8_t> bytes = DngWriter::writeToBytes(d, nullptr, &layout);
        QVERIFY(!bytes.empty());
        // Count the TileOffsets entry's values straight from the directory.
        const uint32_t ifd = layout.frames[0].ifdOffset;
        const auto u16 = [&](size_t p) { return uint16_t(bytes[p] | (bytes[p + 1] << 8)); };
        const auto u32 = [&](size_t p) { return uint32_t(u16(p) | (uint32_t(u16(p + 2)) << 16)); };
        uint32_t tileOffsetsCount = 0;
        for (uint16_t i = 0; i < u16(ifd); ++i)
            if (u16(ifd + 2 + 12 * i) == 324)
                tileOffsetsCount = u32(ifd + 2 + 12 * i + 4);
        QCOMPARE(int(tileOffsetsCount), 4 + delta);
    }

    void loops()
    {
        DngDescription d;
        d.frames.push_back(DngFrame::cfa(16, 16, 16, [](int x, int) { return uint16_t(x); }));
        d.ifdLoop = true;
        DngLayout layout;
        std::vector<uint8_t> bytes = DngWriter::writeToBytes(d, nullptr, &layout);
        QVERIFY(!bytes.empty());
        const QString path = m_dir.filePath("loop.dng");
        QVERIFY(DngWriter::saveBytes(bytes, path.toStdString()));
        TIFF *tif = TIFFOpen(path.toLocal8Bit().constData(), "r");
        QVERIFY(tif);
        TiffCloser closer{tif};
        // libtiff notices the IFD0 chain coming back to itself and counts it once.
        QCOMPARE(int(TIFFNumberOfDirectories(tif)), 1);
        QCOMPARE(TIFFReadDirectory(tif), 0);
    }

    void subIfdLoop()
    {
        DngDescription d;
        d.frames.push_back(DngFrame::cfa(16, 16, 16, [](int x, int) { return uint16_t(x); }));
        d.subIfdLoop = true;
        DngLayout layout;
        const std::vector<uint8_t> bytes = DngWriter::writeToBytes(d, nullptr, &layout);
        QVERIFY(!bytes.empty());
        const QString path = m_dir.filePath("subloop.dng");
        QVERIFY(DngWriter::saveBytes(bytes, path.toStdString()));
        TIFF *tif = TIFFOpen(path.toLocal8Bit().constData(), "r");
        QVERIFY(tif);
        TiffCloser closer{tif};
        QVERIFY(openSubIfd(tif, 0));
        QCOMPARE(uint64_t(TIFFCurrentDirOffset(tif)), uint64_t(layout.frames[0].ifdOffset));
        uint16_t count = 0;
        void *offsets = nullptr;
        QVERIFY(TIFFGetField(tif, TIFFTAG_SUBIFD, &count, &offsets));
        QCOMPARE(int(count), 1);
        QCOMPARE(uint64_t(static_cast<const toff_t *>(offsets)[0]), uint64_t(layout.frames[0].ifdOffset));
        const size_t next = layout.frames[0].nextPointerPos;
        const uint32_t nextIfd = bytes[next] | (bytes[next + 1] << 8) | (bytes[next + 2] << 16) | (uint32_t(bytes[next + 3]) << 24);
        QCOMPARE(nextIfd, layout.ifd0Offset);
    }

    void bytesMatchFile()
    {
        DngDescription d;
        d.frames.push_back(DngFrame::cfa(16, 8, 12, [](int x, int y) { return uint16_t(x * 100 + y); }));
        const QString path = m_dir.write(d, "same.dng");
        QVERIFY(!path.isEmpty());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray onDisk = file.readAll();
        const std::vector<uint8_t> bytes = DngWriter::writeToBytes(d);
        QCOMPARE(onDisk, QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())));
    }

    void refusedDescriptions_data()
    {
        QTest::addColumn<int>("fault");
        QTest::newRow("too few samples") << 0;
        QTest::newRow("value above BitsPerSample") << 1;
        QTest::newRow("two frames in IFD0") << 2;
        QTest::newRow("CFA pattern size") << 3;
        QTest::newRow("JPEG rows that do not hold whole pixels") << 4;
        QTest::newRow("float data uncompressed") << 5;
    }

    void refusedDescriptions()
    {
        QFETCH(int, fault);
        DngDescription d;
        DngFrame f = DngFrame::cfa(16, 8, 12, [](int x, int) { return uint16_t(x); });
        switch (fault) {
        case 0: f.samples.pop_back(); break;
        case 1: f.samples[5] = 4096; break;
        case 2: f.placement = DngFrame::Placement::Ifd0; d.frames.push_back(f); break;
        case 3: f.cfaRepeatCols = 3; break;
        case 4: f.compression = 7; f.width = 15; f.samples.resize(15 * 8); f.ljpegComponents = 2; break;
        case 5: f.floatSamples.assign(f.samples.size(), 1.0f); break;
        }
        d.frames.push_back(f);
        std::string error;
        QVERIFY(DngWriter::writeToBytes(d, &error).empty());
        QVERIFY(!error.empty());
    }
};

TW_REGISTER_TEST(DngWriterTest)
#include "DngWriterTest.moc"
