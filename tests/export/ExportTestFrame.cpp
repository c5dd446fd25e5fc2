#include "ExportTestFrame.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <tiffio.h>

ExportTestFrame ExportTestFrame::make(int width, int height, int components, int channels, std::array<int, 4> pattern)
{
    ExportTestFrame f;
    f.pattern = pattern;
    const int top = 1, left = 3, rawWidth = width + left + 2, rawHeight = height + top + 2;
    f.raw.resize(size_t(rawWidth) * size_t(rawHeight) * size_t(components));
    for (size_t i = 0; i < f.raw.size(); ++i)
        f.raw[i] = (unsigned short)((i * 2654435761u) >> 20 & 0x3FFF);   // 14-bit values, all different
    f.view.data = f.raw.data();
    f.view.pitch = size_t(rawWidth) * size_t(components);
    f.view.components = components;
    f.view.rawWidth = rawWidth;
    f.view.rawHeight = rawHeight;
    f.view.originRow = top;
    f.view.originCol = left;
    f.view.width = width;
    f.view.height = height;
    f.view.channels = channels;
    if (components == 1) {
        auto table = std::make_shared<std::array<unsigned char, 48 * 48>>();
        for (int r = 0; r < 48; ++r)
            for (int c = 0; c < 48; ++c)
                (*table)[size_t(r * 48 + c)] = (unsigned char)pattern[size_t((r & 1) * 2 + (c & 1))];
        f.view.colourTable = table;
        f.view.colorAt = [table](int r, int c) { return int((*table)[size_t((r % 48) * 48 + c % 48)]); };
    }
    return f;
}

TiffImage readTiff(const QString &path)
{
    TiffImage t;
    TIFFSetWarningHandler(nullptr);
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!tif)
        return t;
    uint16_t spp = 0, bits = 0, photometric = 0, compression = 0, predictor = 0, orientation = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &t.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &t.height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (compression != COMPRESSION_NONE)
        TIFFGetFieldDefaulted(tif, TIFFTAG_PREDICTOR, &predictor);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &t.rowsPerStrip);
    TIFFGetField(tif, TIFFTAG_ORIENTATION, &orientation);
    uint32_t iccSize = 0;
    void *icc = nullptr;
    if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &iccSize, &icc) && icc)
        t.icc.assign(static_cast<uint8_t *>(icc), static_cast<uint8_t *>(icc) + iccSize);
    t.samples = spp;
    t.bits = bits;
    t.photometric = photometric;
    t.compression = compression;
    t.predictor = predictor;
    t.orientation = orientation;
    const tmsize_t line = TIFFScanlineSize(tif);
    std::vector<uint8_t> row(size_t(std::max<tmsize_t>(line, 0)));
    bool ok = line > 0;
    for (uint32_t r = 0; ok && r < t.height; ++r) {
        ok = TIFFReadScanline(tif, row.data(), r, 0) == 1;
        if (bits == 16) {
            const auto *p = reinterpret_cast<const unsigned short *>(row.data());
            t.samples16.insert(t.samples16.end(), p, p + line / 2);
        } else {
            t.samples8.insert(t.samples8.end(), row.begin(), row.end());
        }
    }
    TIFFClose(tif);
    t.ok = ok;
    return t;
}

unsigned short referenceValue(unsigned v, const TiffExportOptions &o)
{
    const float scale = o.autoscale ? 65535.0f / (float(o.srawLumaScale ? o.lumaMaximum : o.currentMaximum) + 1.0f)
                                    : 1.0f;
    const double i = double(std::clamp<int64_t>(int64_t(float(v) * scale), 0, 65535));
    return (unsigned short)std::trunc(std::pow(i / 65535, 1 / (o.gamma ? 2.2 : 1.0)) * 65535);
}

namespace {

unsigned short referenceChroma(unsigned v, const TiffExportOptions &o)
{
    const int m = o.srawMidpoint < 1 ? 1024 : o.srawMidpoint;
    const double c = std::trunc(((double(v) - m) * o.chromaScale + m) * std::trunc(65536.0 / (2 * m)));
    return (unsigned short)std::clamp(c, 0.0, 65535.0);
}

}

ExpectedImage expectedRawExport(const ExportTestFrame &f, const TiffExportOptions &o)
{
    const int W = f.view.width, H = f.view.height, channels = f.view.channels;
    const bool composite = o.mode == TiffExportOptions::RawComposite;
    const bool single = composite && o.bayerMode == TiffExportOptions::SingleLayer;
    const bool half = o.bayerMode == TiffExportOptions::HalfSize;
    const bool blocks = !single && (half || o.bayerMode == TiffExportOptions::Pixels2x2);
    ExpectedImage e;
    e.width = half ? W / 2 : W;
    e.height = half ? H / 2 : H;
    e.samples = (!composite || single) ? 1 : (channels == 3 || o.threeChannel) ? 3 : 4;
    e.values.assign(size_t(e.width) * size_t(e.height) * size_t(e.samples), 0);
    const int ch = channels == 1 ? 0 : o.channel;
    for (int r = 0; r < e.height; ++r) {
        for (int c = 0; c < e.width; ++c) {
            unsigned short *out = &e.values[(size_t(r) * size_t(e.width) + size_t(c)) * size_t(e.samples)];
            if (!blocks) {
                const unsigned short v = referenceValue(f.value(r, c), o);
                const int colour = f.colourAt(r, c);
                if (single)
                    out[0] = v;
                else if (!composite)
                    out[0] = (channels == 1 || colour == ch) ? v : 0;
                else if (colour < e.samples)
                    out[colour] = v;
                else if (colour == 3 && o.threeChannel)
                    out[1] = v;
                continue;
            }
            const int br = half ? 2 * r : r & ~1, bc = half ? 2 * c : c & ~1;
            if (br + 1 >= H || bc + 1 >= W)
                continue;
            const int rows[4] = {br, br, br + 1, br + 1}, cols[4] = {bc, bc + 1, bc, bc + 1};
            unsigned short cell[4] = {0, 0, 0, 0};
            bool found = false;
            for (int k = 0; k < 4; ++k) {
                const int colour = f.colourAt(rows[k], cols[k]);
                const unsigned short v = referenceValue(f.value(rows[k], cols[k]), o);
                if (composite)
                    cell[colour] = v;
                else if (!found && (channels == 1 || colour == ch)) {
                    cell[0] = v;
                    found = true;
                }
            }
            if (composite && o.threeChannel)
                cell[1] = (unsigned short)((cell[1] + cell[3]) / 2);
            for (int s = 0; s < e.samples; ++s)
                out[s] = cell[s];
        }
    }
    return e;
}

ExpectedImage expectedLinearExport(const ExportTestFrame &f, const TiffExportOptions &o)
{
    const int comps = f.view.components, channels = f.view.channels;
    const bool composite = o.mode == TiffExportOptions::RawComposite;
    ExpectedImage e;
    e.width = f.view.width;
    e.height = f.view.height;
    e.samples = !composite ? 1 : (comps == 3 || channels == 3 || o.threeChannel) ? 3 : 4;
    e.values.assign(size_t(e.width) * size_t(e.height) * size_t(e.samples), 0);
    for (int r = 0; r < e.height; ++r) {
        for (int c = 0; c < e.width; ++c) {
            unsigned short *out = &e.values[(size_t(r) * size_t(e.width) + size_t(c)) * size_t(e.samples)];
            auto V = [&](int k) { return referenceValue(f.value(r, c, k), o); };
            auto C = [&](int k) { return referenceChroma(f.value(r, c, k), o); };
            if (!composite) {
                out[0] = (o.srawYcc && o.channel > 0) ? C(o.channel) : V(o.channel);
            } else if (o.srawYcc) {
                out[0] = V(0);
                out[1] = C(1);
                out[2] = C(2);
            } else if (comps == 4 && channels != 3 && o.threeChannel) {
                out[0] = V(0);
                out[1] = referenceValue((f.value(r, c, 1) + f.value(r, c, 3)) / 2, o);
                out[2] = V(2);
            } else {
                for (int s = 0; s < e.samples; ++s)
                    out[s] = V(s);
            }
        }
    }
    return e;
}
