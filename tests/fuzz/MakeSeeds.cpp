// Writes small raw files of every kind the decoder reads (DNG, CR2, NEF) into a
// folder, as starting points for fuzzing. Run by hand (tools/fuzz.sh), not in CI.
#include "Cr2Writer.h"
#include "DngWriter.h"
#include "ExifBlockBuilder.h"
#include "JpegFixture.h"
#include "NefWriter.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

uint16_t ramp(int x, int y, int bits)
{
    return uint16_t((x * 37 + y * 101 + x * y) % (1 << bits));
}

DngDescription base(bool bigEndian)
{
    DngDescription d;
    d.bigEndian = bigEndian;
    d.exposureTime = 1.0 / 250;
    d.fNumber = 5.6;
    d.iso = 200;
    d.dateTimeOriginal = "2026:01:02 03:04:05";
    d.colorMatrix1 = {0.9, -0.3, -0.1, -0.4, 1.3, 0.1, -0.1, 0.2, 0.6};
    d.calibrationIlluminant1 = 21;
    d.asShotNeutral = {0.5, 1.0, 0.7};
    return d;
}

DngFrame cfa(int w, int h, int bits)
{
    DngFrame f = DngFrame::cfa(w, h, bits, [bits](int x, int y) { return ramp(x, y, bits); });
    f.whiteLevel = {uint32_t((1 << bits) - 1)};
    f.blackLevel = {16};
    return f;
}

bool save(const std::string &dir, const char *name, const DngDescription &d)
{
    std::string error;
    if (!DngWriter::writeFile(d, dir + "/" + name, &error)) {
        std::fprintf(stderr, "%s: %s\n", name, error.c_str());
        return false;
    }
    return true;
}

}

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = true;

    for (bool be : {false, true}) {
        DngDescription d = base(be);
        d.frames.push_back(cfa(32, 24, 16));
        ok &= save(dir, be ? "cfa16-mm.dng" : "cfa16-ii.dng", d);
    }
    {
        DngDescription d = base(false);
        DngFrame f = cfa(40, 20, 12);
        f.storage = DngFrame::Storage::Tiles;
        f.tileWidth = f.tileHeight = 16;
        d.frames.push_back(f);
        ok &= save(dir, "cfa12-packed-tiles.dng", d);
    }
    {
        DngDescription d = base(false);
        DngFrame f = cfa(64, 32, 14);
        f.compression = 7;
        f.storage = DngFrame::Storage::Tiles;
        f.tileWidth = f.tileHeight = 32;
        f.ljpegComponents = 2;
        f.activeArea = {2, 4, 32, 64};
        f.blackLevelRepeatRows = f.blackLevelRepeatCols = 2;
        f.blackLevel = {10, 11, 12, 13};
        d.frames.push_back(f);
        ok &= save(dir, "cfa14-ljpeg-tiles.dng", d);
    }
    {
        DngDescription d = base(true);
        DngFrame f = cfa(24, 16, 16);
        f.compression = 7;
        f.ljpegPredictor = 6;
        f.ljpegPointTransform = 1;
        f.ljpegRestartInterval = 12;
        f.linearizationTable = {0, 4, 9, 15, 22, 30, 39, 49};
        d.frames.push_back(f);
        ok &= save(dir, "cfa-ljpeg-pred6-curve.dng", d);
    }
    {
        DngDescription d = base(false);
        DngFrame f = cfa(36, 36, 16);
        f.cfaRepeatRows = f.cfaRepeatCols = 6;
        f.cfaPattern = {1, 1, 0, 1, 1, 2, 1, 1, 2, 1, 1, 0, 2, 0, 1, 0, 2, 1,
                        1, 1, 2, 1, 1, 0, 1, 1, 0, 1, 1, 2, 0, 2, 1, 2, 0, 1};
        d.frames.push_back(f);
        ok &= save(dir, "cfa6x6.dng", d);
    }
    {
        DngDescription d = base(false);
        DngFrame f = cfa(16, 16, 16);
        f.cfaRepeatRows = 4;
        f.cfaPattern = {0, 1, 1, 2, 1, 0, 2, 1};
        d.frames.push_back(f);
        ok &= save(dir, "cfa4x2.dng", d);
    }
    for (int spp : {1, 3, 4}) {
        DngDescription d = base(false);
        DngFrame f = DngFrame::linearRaw(20, 12, spp, 16, [](int x, int y, int c) { return uint16_t(x * 100 + y * 7 + c * 1000); });
        d.frames.push_back(f);
        ok &= save(dir, ("linear" + std::to_string(spp) + ".dng").c_str(), d);
    }
    {
        DngDescription d = base(false);
        DngFrame f = DngFrame::linearRaw(32, 16, 3, 8, [](int x, int y, int c) { return uint16_t((x * 8 + y * 4 + c * 60) & 255); });
        f.compression = 34892;
        f.storage = DngFrame::Storage::Tiles;
        f.tileWidth = f.tileHeight = 16;
        d.frames.push_back(f);
        ok &= save(dir, "linear3-lossy.dng", d);
    }
    for (int bits : {16, 24, 32}) {
        DngDescription d = base(bits == 24);
        DngFrame f = DngFrame::cfa(16, 16, 16, [](int x, int y) { return uint16_t(x + y); });
        f.samples.clear();
        for (int i = 0; i < 16 * 16; ++i)
            f.floatSamples.push_back(float(i) * 0.25f);
        f.bitsPerSample = uint16_t(bits);
        f.compression = 8;
        f.floatPredictor = bits == 16 ? 3 : (bits == 24 ? 34894 : 34895);
        f.storage = DngFrame::Storage::Tiles;
        f.tileWidth = f.tileHeight = 16;
        d.frames.push_back(f);
        ok &= save(dir, ("float" + std::to_string(bits) + ".dng").c_str(), d);
    }
    {
        DngDescription d = base(false);
        d.frames.push_back(cfa(32, 16, 16));
        std::vector<uint8_t> rgb(16 * 16 * 3, 128);
        ExifBlockBuilder exif;
        exif.exposureTime = 0.004;
        exif.fNumber = 8;
        exif.iso = 400;
        std::vector<uint8_t> jpeg = JpegFixture::encodeRgb(rgb.data(), 16, 16, 80, exif.build());
        d.frames.push_back(DngFrame::jpegPreview(jpeg));
        DngFrame enhanced = DngFrame::linearRaw(32, 16, 3, 16, [](int x, int y, int c) { return uint16_t(x * y + c); });
        enhanced.newSubfileType = DngFrame::SubfileEnhanced;
        d.frames.push_back(enhanced);
        ok &= save(dir, "frames-preview-enhanced.dng", d);
    }
    // Every strip or tile pointing at one block's bytes: small files that
    // claim frames of a few hundred megabytes.
    {
        DngDescription d = base(false);
        DngFrame f = cfa(10000, 10, 16);
        f.repeatDown = 1000;
        d.frames.push_back(f);
        ok &= save(dir, "shared-strips.dng", d);
    }
    {
        DngDescription d = base(false);
        DngFrame f = DngFrame::cfa(256, 256, 14, [](int x, int y) { return DngFrame::noise(x, y, 0, 14); });
        f.compression = 7;
        f.ljpegComponents = 2;
        f.storage = DngFrame::Storage::Tiles;
        f.tileWidth = f.tileHeight = 256;
        f.repeatAcross = f.repeatDown = 32;
        d.frames.push_back(f);
        ok &= save(dir, "shared-ljpeg-tiles.dng", d);
    }
    // Canon CR2: each stream layout, small, with its maker note.
    struct Cr2Seed {
        const char *name;
        int components, bits, sliceCount, sliceWidth, lastSliceWidth;
        bool twoTables, twoRows;
        int srawH, srawV, colorDataCount;
    };
    const Cr2Seed cr2Seeds[] = {
        {"cr2-4c14-sliced.cr2", 4, 14, 2, 24, 16, false, false, 0, 0, 1312},
        {"cr2-2c12.cr2", 2, 12, 0, 0, 0, false, false, 0, 0, 1250},
        {"cr2-2c14-tworows-sliced.cr2", 2, 14, 1, 32, 32, false, true, 0, 0, 582},
        {"cr2-4c14-twotables.cr2", 4, 14, 0, 0, 0, true, false, 0, 0, 1273},
        {"cr2-sraw422.cr2", 3, 15, 0, 0, 0, true, false, 2, 1, 1312},
        {"cr2-sraw420-sliced.cr2", 3, 15, 1, 96, 96, false, false, 2, 2, 1816},
    };
    for (const Cr2Seed &c : cr2Seeds) {
        Cr2Description d;
        d.components = c.components;
        d.bits = c.bits;
        d.sliceCount = c.sliceCount;
        d.sliceWidth = c.sliceWidth;
        d.lastSliceWidth = c.lastSliceWidth;
        d.twoTables = c.twoTables;
        d.twoRowsPerLine = c.twoRows;
        d.colorDataCount = c.colorDataCount;
        d.rawWidth = 64;
        d.rawHeight = 40;
        d.previewWidth = 32;
        d.previewHeight = 24;
        if (c.srawH) {
            d.srawH = c.srawH;
            d.srawV = c.srawV;
            d.srawType = 1;
            d.sensorInfo = false;
            const int slotCount = c.srawH * c.srawV + 2;
            for (int i = 0; i < (64 / c.srawH) * (40 / c.srawV); ++i)
                for (int k = 0; k < slotCount; ++k)
                    d.raw.push_back(uint16_t(k < slotCount - 2 ? 4000 + i * 7 % 3000 : 16384 + (i * 13) % 400 - 200));
        } else {
            d.sensorLeft = 8;
            d.sensorTop = 4;
            d.sensorRight = 63;
            d.sensorBottom = 39;
            for (int y = 0; y < 40; ++y)
                for (int x = 0; x < 64; ++x)
                    d.raw.push_back(ramp(x, y, c.bits));
        }
        std::string error;
        if (!Cr2Writer::writeFile(d, dir + "/" + c.name, &error)) {
            std::fprintf(stderr, "%s: %s\n", c.name, error.c_str());
            ok = false;
        }
    }
    // Nikon NEF: each coding and packing, small, with its maker note.
    struct NefSeed {
        const char *name;
        NefDescription::Coding coding;
        int bits;
        bool knots;
        int split;
        bool bigEndian;
    };
    using C = NefDescription::Coding;
    const NefSeed nefSeeds[] = {
        {"nef-lossless14.nef", C::Lossless, 14, true, 0, true},
        {"nef-lossless12-ii.nef", C::Lossless, 12, true, 0, false},
        {"nef-lossy12-split.nef", C::Lossy, 12, true, 20, true},
        {"nef-lossy14-split.nef", C::Lossy, 14, true, 24, true},
        {"nef-lossy12-table.nef", C::Lossy, 12, false, 0, true},
        {"nef-packed12.nef", C::Packed, 12, true, 0, true},
        {"nef-words14.nef", C::Words, 14, true, 0, false},
    };
    for (const NefSeed &n : nefSeeds) {
        NefDescription d;
        d.coding = n.coding;
        d.bits = n.bits;
        d.knots = n.knots;
        d.split = n.split;
        d.bigEndian = n.bigEndian;
        d.width = 64;
        d.height = 40;
        d.previews = false;
        for (int y = 0; y < d.height; ++y)
            for (int x = 0; x < d.width; ++x)
                d.raw.push_back(uint16_t((ramp(x, y, n.bits) + 300) % (1 << n.bits)));
        std::string error;
        if (!NefWriter::writeFile(d, dir + "/" + n.name, &error)) {
            std::fprintf(stderr, "%s: %s\n", n.name, error.c_str());
            ok = false;
        }
    }
    // Nikon Coolscan NEF: a scanner's 16-bit RGB image.
    {
        NefDescription d;
        d.coding = NefDescription::Coding::Scanner;
        d.make = "Nikon";
        d.model = "Nikon SUPER COOLSCAN 5000 ED";
        d.bits = 16;
        d.previews = false;
        d.width = 24;
        d.height = 16;
        for (int i = 0; i < d.width * d.height * 3; ++i)
            d.raw.push_back(uint16_t(i * 97));
        std::string error;
        if (!NefWriter::writeFile(d, dir + "/nef-coolscan16.nef", &error)) {
            std::fprintf(stderr, "nef-coolscan16.nef: %s\n", error.c_str());
            ok = false;
        }
    }
    return ok ? 0 : 1;
}
