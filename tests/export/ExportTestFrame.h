// Small generated frames for the export writers, a plain reference of what
// each export mode must hold, and TIFF files read back through libtiff.
#ifndef EXPORTTESTFRAME_H
#define EXPORTTESTFRAME_H

#include "FrameView.h"
#include "TiffExportOptions.h"

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// A raw buffer with margins around the frame, each value its own.
struct ExportTestFrame {
    std::vector<unsigned short> raw;
    FrameView view;
    std::array<int, 4> pattern{0, 1, 1, 2};   // CFA colours of a 2x2 cell, at the frame origin

    // components 1 (CFA with `pattern`), 3 or 4; margins top 1, left 3.
    static ExportTestFrame make(int width, int height, int components, int channels,
                                std::array<int, 4> pattern = {0, 1, 1, 2});
    int colourAt(int row, int col) const { return pattern[size_t((row & 1) * 2 + (col & 1))]; }
    unsigned short value(int row, int col, int component = 0) const
    {
        return view.data[size_t(row + view.originRow) * view.pitch
                         + size_t(col + view.originCol) * size_t(view.components) + size_t(component)];
    }
};

struct TiffImage {
    bool ok = false;
    uint32_t width = 0, height = 0;
    int samples = 0, bits = 0, photometric = -1, compression = -1, predictor = 0;
    uint32_t rowsPerStrip = 0;
    int orientation = 0;
    std::vector<uint8_t> icc;
    std::vector<unsigned short> samples16;   // 16-bit files
    std::vector<uint8_t> samples8;           // 8-bit files
    unsigned short at(uint32_t row, uint32_t col, int s) const
    {
        return samples16[(size_t(row) * width + col) * size_t(samples) + size_t(s)];
    }
};

TiffImage readTiff(const QString &path);

// What the raw writers must produce, worked out pixel by pixel from the
// export's formulas: width x height x samples values.
struct ExpectedImage {
    int width = 0, height = 0, samples = 0;
    std::vector<unsigned short> values;
};
ExpectedImage expectedRawExport(const ExportTestFrame &frame, const TiffExportOptions &o);
ExpectedImage expectedLinearExport(const ExportTestFrame &frame, const TiffExportOptions &o);
unsigned short referenceValue(unsigned v, const TiffExportOptions &o);

#endif
