// TIFF export of a synthesised 24-megapixel 14-bit RGGB frame in each mode,
// uncompressed and LZW, beside one plain write of the same number of bytes
// to the same folder. For LZW, libtiff's share is the time the same
// scanlines take through libtiff alone.

#include "BenchClock.h"
#include "TiffScanlineFile.h"
#include "TiffWriters.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <tiffio.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int Width = 6000, Height = 4000, Runs = 5;

double medianMs(const std::function<void()> &work)
{
    return BenchClock::median(BenchClock::runTimes(Runs, 0, work));
}

void plainWrite(const QString &path, qint64 bytes)
{
    static const std::vector<char> chunk(4 << 20, 1);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return;
    for (qint64 left = bytes; left > 0; left -= qint64(chunk.size()))
        f.write(chunk.data(), std::min<qint64>(left, qint64(chunk.size())));
    f.close();
}

}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    QTemporaryDir dir(QDir(folder).filePath(QStringLiteral("bench_export-XXXXXX")));
    if (!dir.isValid())
        return 1;

    std::vector<unsigned short> raw(size_t(Width) * Height);
    unsigned seed = 1;
    for (size_t i = 0; i < raw.size(); ++i) {
        // A smooth picture with noise, as a sensor gives, so LZW has work.
        seed = seed * 1103515245u + 12345u;
        const int x = int(i % Width), y = int(i / Width);
        raw[i] = (unsigned short)(((x * 3 + y * 2) % 12000) + 512 + (seed >> 24));
    }
    FrameView frame;
    frame.data = raw.data();
    frame.pitch = Width;
    frame.rawWidth = Width;
    frame.rawHeight = Height;
    frame.width = Width;
    frame.height = Height;
    frame.channels = 3;
    auto table = std::make_shared<std::array<unsigned char, 48 * 48>>();
    for (int r = 0; r < 48; ++r)
        for (int c = 0; c < 48; ++c)
            (*table)[size_t(r * 48 + c)] = (unsigned char)((r & 1) + (c & 1));
    frame.colourTable = table;
    frame.colorAt = [table](int r, int c) { return int((*table)[size_t((r % 48) * 48 + c % 48)]); };

    struct Mode {
        const char *name;
        TiffExportOptions::Mode mode;
        TiffExportOptions::BayerMode bayer;
    };
    const Mode modes[] = {
        {"composite, fill with zeroes", TiffExportOptions::RawComposite, TiffExportOptions::FillZeroes},
        {"composite, single layer", TiffExportOptions::RawComposite, TiffExportOptions::SingleLayer},
        {"composite, half size", TiffExportOptions::RawComposite, TiffExportOptions::HalfSize},
        {"composite, 2x2 pixels", TiffExportOptions::RawComposite, TiffExportOptions::Pixels2x2},
        {"one channel (G)", TiffExportOptions::RawChannel, TiffExportOptions::FillZeroes},
    };
    std::printf("bench_export: %d x %d 14-bit RGGB to %s, median of %d runs\n", Width, Height,
                qPrintable(dir.path()), Runs);
    const QString path = dir.filePath(QStringLiteral("out.tif"));
    const QString plainPath = dir.filePath(QStringLiteral("plain.bin"));
    for (const Mode &m : modes) {
        TiffExportOptions o;
        o.mode = m.mode;
        o.bayerMode = m.bayer;
        o.channel = 1;
        o.autoscale = true;
        o.gamma = true;
        o.currentMaximum = 16383;
        o.uncompressed = true;
        const double none = medianMs([&] { writeRawTiff(frame, o, path, {}); });
        const qint64 bytes = QFileInfo(path).size();
        const double plain = medianMs([&] { plainWrite(plainPath, bytes); });
        o.uncompressed = false;
        const double lzw = medianMs([&] { writeRawTiff(frame, o, path, {}); });
        const qint64 lzwBytes = QFileInfo(path).size();

        // The same scanlines through libtiff alone: read back, then written
        // again with LZW without any conversion.
        TIFF *in = TIFFOpen(QFile::encodeName(path).constData(), "r");
        uint32_t w = 0, h = 0;
        uint16_t spp = 1;
        TIFFGetField(in, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(in, TIFFTAG_IMAGELENGTH, &h);
        TIFFGetFieldDefaulted(in, TIFFTAG_SAMPLESPERPIXEL, &spp);
        std::vector<unsigned char> rows(size_t(TIFFScanlineSize(in)) * h);
        for (uint32_t r = 0; r < h; ++r)
            TIFFReadScanline(in, rows.data() + size_t(r) * size_t(TIFFScanlineSize(in)), r, 0);
        const size_t line = size_t(TIFFScanlineSize(in));
        TIFFClose(in);
        std::vector<unsigned char> buffer(line);
        const double libtiff = medianMs([&] {
            TiffScanlineFile file;
            file.open(dir.filePath(QStringLiteral("libtiff.tif")));
            file.setLayout(w, h, spp, 16, spp == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB, false);
            for (uint32_t r = 0; r < h; ++r) {
                std::copy(rows.begin() + ptrdiff_t(r * line), rows.begin() + ptrdiff_t((r + 1) * line), buffer.begin());
                file.writeRow(buffer.data(), r);
            }
            file.finish();
        });
        std::printf("  %-30s none %7.1f ms (%5.0f MB) = %4.2fx plain write %7.1f ms | LZW %7.1f ms (%5.0f MB), "
                    "libtiff %7.1f ms = %3.0f %%\n",
                    m.name, none, double(bytes) / 1e6, none / plain, plain, lzw, double(lzwBytes) / 1e6, libtiff,
                    100.0 * libtiff / lzw);
    }
    return 0;
}
