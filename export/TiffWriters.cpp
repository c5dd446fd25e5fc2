#include "TiffWriters.h"

#include "FrameAccess.h"
#include "GammaTables.h"
#include "Kaldris.h"
#include "TiffScanlineFile.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <tiffio.h>

namespace {

struct Layout {
    uint32_t width = 0, height = 0;
    int samples = 1, bits = 16, photometric = PHOTOMETRIC_MINISBLACK;
    bool uncompressed = false;
    QByteArray icc;
    size_t rowBytes() const { return size_t(width) * size_t(samples) * size_t(bits / 8); }
};

// Fills the rows of step `index` into the zeroed buffer (room for two rows)
// and returns how many it filled.
using StepFill = std::function<int(int index, unsigned char *buffer)>;

TiffWriteResult writeSteps(const QString &path, const Layout &layout, int steps, int stepRows, int frameHeight,
                           const ExportProgress &progress, const StepFill &fill)
{
    if (layout.width == 0 || layout.height == 0)
        return {TiffWriteResult::NothingToWrite, QString()};
    TiffScanlineFile file;
    if (!file.open(path))
        return {TiffWriteResult::OpenFailed, file.errorText()};
    if (!file.setLayout(layout.width, layout.height, layout.samples, layout.bits, layout.photometric,
                        layout.uncompressed, layout.icc)) {
        file.finish();
        return {TiffWriteResult::WriteFailed, file.errorText()};
    }
    // One row pair at a time: the buffer stays in the cache while libtiff
    // copies it, which measured faster than filling bands on all cores
    // (libtiff takes the scanlines one after the other anyway).
    const size_t rowBytes = layout.rowBytes();
    std::vector<unsigned char> buffer(2 * rowBytes);
    uint32_t written = 0;
    for (int i = 0; i < steps && written < layout.height; ++i) {
        const int percent = frameHeight > 0 ? int(int64_t(i) * stepRows * 100 / frameHeight) : 0;
        if (progress && !progress(percent)) {
            file.finish();
            return {TiffWriteResult::Cancelled, QString()};
        }
        std::memset(buffer.data(), 0, buffer.size());
        const int rows = fill(i, buffer.data());
        for (int k = 0; k < rows && written < layout.height; ++k) {
            if (!file.writeRow(buffer.data() + size_t(k) * rowBytes, written++)) {
                file.finish();
                return {TiffWriteResult::WriteFailed, file.errorText()};
            }
        }
    }
    if (!file.finish())
        return {TiffWriteResult::WriteFailed, file.errorText()};
    return {TiffWriteResult::Written, QString()};
}

// The CFA colour of every frame column of a row (slot 0 or 1: the two
// rows of a block).
class RowColours
{
public:
    RowColours(const FrameView &frame, int width)
        : frame(frame), width(std::max(width, 0))
    {
    }

    const unsigned char *row(int r, int slot)
    {
        std::vector<unsigned char> &colours = buffers[slot];
        colours.resize(size_t(width) + 48);
        if (frame.colourTable) {
            const unsigned char *pattern = frame.colourTable->data() + size_t(((r % 48) + 48) % 48) * 48;
            for (int c = 0; c < width; c += 48)
                std::memcpy(colours.data() + c, pattern, 48);
        } else if (frame.colorAt) {
            for (int c = 0; c < width; ++c)
                colours[size_t(c)] = (unsigned char)(frame.colorAt(r, c) & 3);
        } else {
            std::fill(colours.begin(), colours.end(), 0);
        }
        return colours.data();
    }

private:
    const FrameView &frame;
    int width;
    std::vector<unsigned char> buffers[2];
};

int rawSamples(const TiffExportOptions &o, int channels)
{
    if (o.mode == TiffExportOptions::RawChannel
        || (o.mode == TiffExportOptions::RawComposite && o.bayerMode == TiffExportOptions::SingleLayer))
        return 1;
    return (channels == 3 || o.threeChannel) ? 3 : 4;
}

int photometricFor(int samples)
{
    return samples == 1 ? PHOTOMETRIC_MINISBLACK : samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_SEPARATED;
}

}

std::vector<unsigned short> exportValueTable(const TiffExportOptions &options)
{
    const unsigned short *tone = GammaTables::instance().table(options.gamma ? GammaTables::Gamma65535
                                                                             : GammaTables::Linear65535);
    const float scale = options.valueScale();
    std::vector<unsigned short> table(65536);
    for (int v = 0; v < 65536; ++v) {
        const int64_t index = int64_t(float(v) * scale);
        table[size_t(v)] = tone[std::clamp<int64_t>(index, 0, 65535)];
    }
    return table;
}

std::vector<unsigned short> srawChromaTable(const TiffExportOptions &options)
{
    const int m = options.srawMidpoint < 1 ? 1024 : options.srawMidpoint;
    const int step = 65536 / (2 * m);
    std::vector<unsigned short> table(65536);
    for (int v = 0; v < 65536; ++v) {
        const double c = std::trunc((double(v - m) * options.chromaScale + m) * step);
        table[size_t(v)] = (unsigned short)std::clamp(c, 0.0, 65535.0);
    }
    return table;
}

QByteArray outputIccProfile(int outputSpace)
{
    if (outputSpace < 1 || outputSpace > 6)
        return QByteArray();
    QFile file(QStringLiteral(":/outicc/rgb%1.icm").arg(outputSpace));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void rawTiffSize(const TiffExportOptions &options, int frameWidth, int frameHeight, int &width, int &height)
{
    const bool half = options.bayerMode == TiffExportOptions::HalfSize;
    width = half ? frameWidth / 2 : frameWidth;
    height = half ? frameHeight / 2 : frameHeight;
}

TiffWriteResult writeRawTiff(const FrameView &frame, const TiffExportOptions &o, const QString &path,
                             const ExportProgress &progress)
{
    const FrameAccess access(frame);
    const int W = std::max(frame.width, 0), H = std::max(frame.height, 0);
    const int usableW = access.width(), usableH = access.height();
    const int channels = std::clamp(frame.channels, 1, 4);
    const bool composite = o.mode == TiffExportOptions::RawComposite;
    const int channel = channels == 1 ? 0 : o.channel;
    const bool blocks = o.bayerMode == TiffExportOptions::HalfSize || o.bayerMode == TiffExportOptions::Pixels2x2;
    const bool half = o.bayerMode == TiffExportOptions::HalfSize;
    const bool single = composite && o.bayerMode == TiffExportOptions::SingleLayer;

    Layout layout;
    layout.samples = rawSamples(o, channels);
    layout.photometric = photometricFor(layout.samples);
    layout.uncompressed = o.uncompressed;
    int outW = 0, outH = 0;
    rawTiffSize(o, W, H, outW, outH);
    layout.width = uint32_t(outW);
    layout.height = uint32_t(outH);
    const int spp = layout.samples;

    const std::vector<unsigned short> value = exportValueTable(o);
    // The output sample of each colour; -1 for none. 3-channel output folds
    // the second green (colour 3) into green.
    int sampleOf[4];
    for (int c = 0; c < 4; ++c)
        sampleOf[c] = c < spp ? c : (c == 3 && o.threeChannel ? 1 : -1);

    RowColours colours(frame, W);

    if (!blocks || single) {
        const StepFill fill = [&](int r, unsigned char *buffer) {
            if (r >= usableH)
                return 1;
            auto *out = reinterpret_cast<unsigned short *>(buffer);
            const unsigned short *px = access.pixel(r, 0);
            if (single) {
                for (int c = 0; c < usableW; ++c)
                    out[c] = value[px[c]];
            } else if (composite) {
                const unsigned char *colour = colours.row(r, 0);
                for (int c = 0; c < usableW; ++c) {
                    const int s = sampleOf[colour[c]];
                    if (s >= 0)
                        out[size_t(c) * size_t(spp) + size_t(s)] = value[px[c]];
                }
            } else if (channels == 1) {
                for (int c = 0; c < usableW; ++c)
                    out[c] = value[px[c]];
            } else {
                const unsigned char *colour = colours.row(r, 0);
                for (int c = 0; c < usableW; ++c)
                    if (colour[c] == channel)
                        out[c] = value[px[c]];
            }
            return 1;
        };
        return writeSteps(path, layout, H, 1, H, progress, fill);
    }

    // 2x2 blocks at even rows and columns; an odd frame's last row and
    // column have no block and stay 0.
    const int blockCols = W / 2;
    const StepFill fill = [&](int step, unsigned char *buffer) {
        const int r = step * 2;
        const int rows = half ? 1 : std::min(2, H - r);
        if (r + 1 >= H)
            return rows;
        auto *out0 = reinterpret_cast<unsigned short *>(buffer);
        auto *out1 = out0 + size_t(W) * size_t(spp);
        const unsigned char *col0 = colours.row(r, 0);
        const unsigned char *col1 = colours.row(r + 1, 1);
        const unsigned short *px0 = r < usableH ? access.pixel(r, 0) : nullptr;
        const unsigned short *px1 = r + 1 < usableH ? access.pixel(r + 1, 0) : nullptr;
        const bool wholeRows = px0 && px1;
        for (int b = 0; b < blockCols; ++b) {
            const int c = 2 * b;
            const unsigned char blockColours[4] = {col0[c], col0[c + 1], col1[c], col1[c + 1]};
            unsigned short cell[4] = {0, 0, 0, 0};
            if (wholeRows && c + 1 < usableW) {
                // Inside the buffer: no bounds to check.
                const unsigned short v[4] = {value[px0[c]], value[px0[c + 1]], value[px1[c]], value[px1[c + 1]]};
                if (composite) {
                    for (int k = 0; k < 4; ++k)
                        cell[blockColours[k]] = v[k];
                } else {
                    for (int k = 0; k < 4; ++k)
                        if (channels == 1 || blockColours[k] == channel) {
                            cell[0] = v[k];
                            break;
                        }
                }
            } else {
                const unsigned short *pixels[4] = {px0 && c < usableW ? px0 + c : nullptr,
                                                   px0 && c + 1 < usableW ? px0 + c + 1 : nullptr,
                                                   px1 && c < usableW ? px1 + c : nullptr,
                                                   px1 && c + 1 < usableW ? px1 + c + 1 : nullptr};
                for (int k = 0; k < 4; ++k) {
                    if (!pixels[k])
                        continue;
                    if (composite) {
                        cell[blockColours[k]] = value[*pixels[k]];
                    } else if (channels == 1 || blockColours[k] == channel) {
                        cell[0] = value[*pixels[k]];
                        break;
                    }
                }
            }
            if (composite && o.threeChannel)
                cell[1] = (unsigned short)((unsigned(cell[1]) + cell[3]) / 2);
            if (half) {
                unsigned short *q = out0 + size_t(b) * size_t(spp);
                for (int s = 0; s < spp; ++s)
                    q[s] = cell[s];
            } else {
                unsigned short *q0 = out0 + size_t(c) * size_t(spp), *q1 = out1 + size_t(c) * size_t(spp);
                for (int s = 0; s < spp; ++s)
                    q0[s] = q0[s + spp] = q1[s] = q1[s + spp] = cell[s];
            }
        }
        return rows;
    };
    const int steps = half ? H / 2 : (H + 1) / 2;
    return writeSteps(path, layout, steps, 2, H, progress, fill);
}

TiffWriteResult writeLinearRawTiff(const FrameView &frame, const TiffExportOptions &o, const QString &path,
                                   const ExportProgress &progress)
{
    const FrameAccess access(frame);
    const int comps = frame.components;
    if (comps != 3 && comps != 4)
        return {TiffWriteResult::NothingToWrite, QString()};
    const int channels = std::clamp(frame.channels, 1, 4);
    const bool composite = o.mode == TiffExportOptions::RawComposite;
    const int k = o.channel;
    if (!composite && (k < 0 || k >= comps))
        return {TiffWriteResult::NothingToWrite, QString()};
    const int W = std::max(frame.width, 0), H = std::max(frame.height, 0);
    const int usableW = access.width(), usableH = access.height();

    Layout layout;
    layout.width = uint32_t(W);
    layout.height = uint32_t(H);
    layout.samples = !composite ? 1 : (comps == 3 || channels == 3 || o.threeChannel) ? 3 : 4;
    layout.photometric = photometricFor(layout.samples);
    layout.uncompressed = o.uncompressed;
    const int spp = layout.samples;

    const std::vector<unsigned short> value = exportValueTable(o);
    const std::vector<unsigned short> chroma = o.srawYcc ? srawChromaTable(o) : std::vector<unsigned short>();
    const bool averageGreen = comps == 4 && channels != 3 && o.threeChannel && !o.srawYcc;

    const StepFill fill = [&](int r, unsigned char *buffer) {
        if (r >= usableH)
            return 1;
        auto *out = reinterpret_cast<unsigned short *>(buffer);
        const unsigned short *px = access.pixel(r, 0);
        if (!composite) {
            const std::vector<unsigned short> &table = (o.srawYcc && k > 0) ? chroma : value;
            for (int c = 0; c < usableW; ++c)
                out[c] = table[px[size_t(c) * size_t(comps) + size_t(k)]];
        } else if (o.srawYcc) {
            for (int c = 0; c < usableW; ++c) {
                const unsigned short *p = px + size_t(c) * size_t(comps);
                unsigned short *q = out + size_t(c) * size_t(spp);
                q[0] = value[p[0]];
                q[1] = chroma[p[1]];
                q[2] = chroma[p[2]];
            }
        } else if (averageGreen) {
            for (int c = 0; c < usableW; ++c) {
                const unsigned short *p = px + size_t(c) * 4;
                unsigned short *q = out + size_t(c) * 3;
                q[0] = value[p[0]];
                q[1] = value[(unsigned(p[1]) + p[3]) / 2];
                q[2] = value[p[2]];
            }
        } else {
            for (int c = 0; c < usableW; ++c) {
                const unsigned short *p = px + size_t(c) * size_t(comps);
                unsigned short *q = out + size_t(c) * size_t(spp);
                for (int s = 0; s < spp && s < comps; ++s)
                    q[s] = value[p[s]];
            }
        }
        return 1;
    };
    return writeSteps(path, layout, H, 1, H, progress, fill);
}

TiffWriteResult writeRgbTiff(const kaldris_processed_image_t *image, const TiffExportOptions &o, const QString &path,
                             const ExportProgress &progress)
{
    if (!image || (image->colors != 1 && image->colors != 3 && image->colors != 4)
        || (image->bits != 8 && image->bits != 16))
        return {TiffWriteResult::NothingToWrite, QString()};
    Layout layout;
    layout.width = image->width;
    layout.height = image->height;
    layout.samples = image->colors;
    layout.bits = image->bits;
    layout.photometric = photometricFor(image->colors);
    layout.uncompressed = o.uncompressed;
    if (image->colors == 3 && o.embedIcc)
        layout.icc = outputIccProfile(o.outputSpace);
    const size_t rowBytes = layout.rowBytes();
    const bool complement = image->colors == 4;
    const StepFill fill = [&](int r, unsigned char *buffer) {
        const size_t offset = size_t(r) * rowBytes;
        // Rows past the data the library gave stay 0, so the file stays whole.
        if (offset + rowBytes > image->data_size)
            return 1;
        const unsigned char *src = image->data + offset;
        if (complement) {
            for (size_t i = 0; i < rowBytes; ++i)
                buffer[i] = (unsigned char)(255 - src[i]);
        } else {
            std::memcpy(buffer, src, rowBytes);
        }
        return 1;
    };
    return writeSteps(path, layout, image->height, 1, image->height, progress, fill);
}
