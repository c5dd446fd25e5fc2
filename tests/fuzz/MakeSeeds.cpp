// Writes small raw files of every kind the decoder reads into a
// folder, as starting points for fuzzing. Run by hand (tools/fuzz.sh), not in CI.
#include "ArwWriter.h"
#include "Cr2Writer.h"
#include "DngOpcodeWriter.h"
#include "DngWriter.h"
#include "ExifBlockBuilder.h"
#include "JpegFixture.h"
#include "NefWriter.h"
#include "PhoneDng.h"
#include "PefWriter.h"
#include "Rw2Writer.h"
#include "OrfWriter.h"
#include "RafWriter.h"
#include "SrwWriter.h"

#include <algorithm>
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

// Any fixture writer of the form Writer::writeFile(description, path, &error).
template <class Writer, class Description> bool saveWith(const std::string &dir, const std::string &name, const Description &d)
{
    std::string error;
    if (!Writer::writeFile(d, dir + "/" + name, &error)) {
        std::fprintf(stderr, "%s: %s\n", name.c_str(), error.c_str());
        return false;
    }
    return true;
}

bool save(const std::string &dir, const char *name, const DngDescription &d)
{
    return saveWith<DngWriter>(dir, name, d);
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
        ok &= saveWith<Cr2Writer>(dir, c.name, d);
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
        ok &= saveWith<NefWriter>(dir, n.name, d);
    }
    // Nikon small raw: YCbCr pairs, the chroma moving from pair to pair.
    {
        NefDescription d;
        d.coding = NefDescription::Coding::Small;
        d.model = "NIKON D810";
        d.previews = false;
        d.width = 48;
        d.height = 24;
        for (int i = 0; i < d.width / 2 * d.height; ++i) {
            d.raw.push_back(uint16_t(i * 7 % 4096));
            d.raw.push_back(uint16_t(i * 11 % 4096));
            d.raw.push_back(uint16_t(1800 + i % 500));
            d.raw.push_back(uint16_t(2300 - i % 600));
        }
        std::string error;
        if (!NefWriter::writeFile(d, dir + "/nef-small.nef", &error)) {
            std::fprintf(stderr, "nef-small.nef: %s\n", error.c_str());
            ok = false;
        }
    }
    // Nikon Coolscan NEF: a scanner's 16-bit RGB image.
    {
        NefDescription d = NefDescription::scanner(24, 16);
        for (int i = 0; i < d.width * d.height * 3; ++i)
            d.raw.push_back(uint16_t(i * 97));
        ok &= saveWith<NefWriter>(dir, "nef-coolscan16.nef", d);
    }

    // DNG opcode lists: a phone's, one of every opcode, and lists whose
    // counts, sizes and areas lie.
    {
        PhoneDng phone;
        phone.width = 32;
        phone.height = 24;
        phone.points = 5;
        phone.badPixels = {{3, 4}, {10, 11}};
        ok &= save(dir, "opcodes-phone.dng", phone.description());
    }
    {
        DngDescription d = base(true);
        DngFrame f = DngFrame::linearRaw(24, 16, 3, 16, [](int x, int y, int c) { return uint16_t(x * 900 + y * 300 + c * 50); });
        f.blackLevel = {10, 20, 30};
        f.blackLevelDeltaH = std::vector<double>(24, 1.5);
        f.blackLevelDeltaV = std::vector<double>(16, -0.5);
        DngOpcodeWriter::Area a;
        a.bottom = 16;
        a.right = 24;
        a.planes = 3;
        const double k[5] = {0.2, 0.1, 0, 0, 0};
        DngOpcodeWriter l1, l2, l3;
        l1.mapTable(a, {0, 100, 4000, 65535}).mapPolynomial(a, {0, 1.1, -0.1}).fixBadPixelsConstant(0, 1).trimBounds(1, 1, 15, 23);
        l2.deltaPerRow(a, std::vector<float>(16, 0.01f)).deltaPerColumn(a, std::vector<float>(24, -0.01f))
            .scalePerRow(a, std::vector<float>(16, 1.1f)).scalePerColumn(a, std::vector<float>(24, 0.9f))
            .gainMap(a, 2, 3, 1.0, 0.5, 0, 0, 3, std::vector<float>(18, 1.2f)).fixVignetteRadial(k, 0.5, 0.5);
        l3.warpRectilinear({{1, 0.01, 0, 0, 0.001, 0}}, 0.5, 0.5).warpFisheye({{1, 0.02, 0, 0}}, 0.4, 0.6)
            .flags(DngOpcodeWriter::Optional).raw(14, 1, std::vector<uint8_t>(20, 0)).fixVignetteRadial(k, 0.5, 0.5);
        f.opcodeList1 = l1.bytes();
        f.opcodeList2 = l2.bytes();
        f.opcodeList3 = l3.bytes();
        d.frames = {f};
        ok &= save(dir, "opcodes-every.dng", d);
    }
    {
        DngDescription d = base(false);
        DngFrame f = cfa(16, 12, 14);
        DngOpcodeWriter::Area a;
        a.bottom = 12;
        a.right = 16;
        DngOpcodeWriter l1, l2, l3;
        l1.setCount(0x7FFFFFFF);
        l1.gainMap(a, 0xFFFF, 0xFFFF, 1e-300, -1, 1e300, 0, 0xFFFFFFFF, {1, 2});
        l1.fixBadPixelsList(3, {{11, 15}, {12, 0}}, {{0, 0, 0xFFFFFFFF, 4}});
        l2.raw(12, 0, std::vector<uint8_t>(36, 0xFF)).raw(9, 0, std::vector<uint8_t>(76, 0)).raw(777, 0, {1});
        l3.mapTable(a, std::vector<uint16_t>(3, 9)).raw(5, 1, {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0});
        std::vector<uint8_t> cut = l3.bytes();
        cut.resize(cut.size() - 5);
        f.opcodeList1 = l1.bytes();
        f.opcodeList2 = l2.bytes();
        f.opcodeList3 = cut;
        d.frames = {f};
        ok &= save(dir, "opcodes-hostile.dng", d);
    }
    // Pentax PEF: each coding, both note forms, and a pixel-shift file.
    struct PefSeed {
        const char *name;
        PefDescription::Coding coding;
        PefDescription::Note note;
        int bits, frames;
        bool bigEndian;
    };
    using Coding = PefDescription::Coding;
    using Note = PefDescription::Note;
    const PefSeed pefSeeds[] = {
        {"pef-huffman14-pentax-mm.pef", Coding::Huffman, Note::Pentax, 14, 1, true},
        {"pef-huffman12-aoc-ii.pef", Coding::Huffman, Note::Aoc, 12, 1, false},
        {"pef-words14-aocunmarked-mm.pef", Coding::Words, Note::AocUnmarked, 14, 1, true},
        {"pef-packed12-pentax-ii.pef", Coding::Packed, Note::Pentax, 12, 1, false},
        {"pef-pixelshift-huffman14.pef", Coding::Huffman, Note::Pentax, 14, 4, true},
    };
    for (const PefSeed &s : pefSeeds) {
        PefDescription d;
        d.coding = s.coding;
        d.note = s.note;
        d.bits = s.bits;
        d.bigEndian = d.noteBigEndian = s.bigEndian;
        d.previewWidth = 32;
        d.previewHeight = 24;
        for (int k = 0; k < s.frames; ++k) {
            PefDescription::Frame f;
            f.width = 48;
            f.height = 24;
            for (int y = 0; y < f.height; ++y)
                for (int x = 0; x < f.width; ++x)
                    f.raw.push_back(ramp(x + k, y, s.bits));
            d.frames.push_back(f);
        }
        ok &= saveWith<PefWriter>(dir, s.name, d);
    }
    // Sony ARW: ARW 2 blocks (one width no multiple of 32, one with a block
    // whose positions coincide), 16-bit words, lossless tiles cut at the edges.
    struct ArwSeed {
        const char *name;
        ArwDescription::Data data;
        int width;
        bool newerTags, previews, brokenBlock;
    };
    const ArwSeed arwSeeds[] = {
        {"arw2-64.arw", ArwDescription::Data::Arw2, 64, false, true, false},
        {"arw2-80-newer-tags.arw", ArwDescription::Data::Arw2, 80, true, false, false},
        {"arw2-broken-block.arw", ArwDescription::Data::Arw2, 64, false, false, true},
        {"arw-uncompressed.arw", ArwDescription::Data::Uncompressed, 48, true, false, false},
        {"arw-lossless-tiles.arw", ArwDescription::Data::LosslessTiles, 72, false, false, false},
    };
    for (const ArwSeed &a : arwSeeds) {
        ArwDescription d;
        d.data = a.data;
        d.width = a.width;
        d.height = 24;
        d.blackIn7310 = d.wbAsGrbg = a.newerTags;
        d.previews = a.previews;
        d.tileWidth = 32;
        d.tileHeight = 16;
        const int bits = a.data == ArwDescription::Data::Arw2 ? 11 : 14;
        for (int y = 0; y < d.height; ++y)
            for (int x = 0; x < d.width; ++x)
                d.values.push_back(ramp(x, y, bits));
        if (a.brokenBlock) {
            d.arw2Bytes = ArwWriter::encodeArw2(d.values, d.width, d.height);
            const unsigned deltas[14] = {};
            const ArwWriter::Block b = ArwWriter::packBlock(1500, 300, 5, 5, deltas);
            std::copy(b.begin(), b.end(), d.arw2Bytes.begin() + 16);
        }
        ok &= saveWith<ArwWriter>(dir, a.name, d);
    }
    // Sony ARW 1 (DSLR-A100): one whole stream, and one cut inside a column.
    for (int cut = 0; cut < 2; ++cut) {
        ArwDescription d = ArwWriter::a100(40, 16);
        d.previews = false;
        const int columns = ArwWriter::arw1Columns(d.width), rows = ArwWriter::arw1Rows(d.height);
        if (cut) {
            d.arw1Bytes = ArwWriter::encodeArw1(d.values, columns, rows);
            d.arw1Bytes.resize(d.arw1Bytes.size() * 2 / 3);
        }
        const char *name = cut ? "arw1-cut.arw" : "arw1-40.arw";
        std::string error;
        if (!ArwWriter::writeFile(d, dir + "/" + name, &error)) {
            std::fprintf(stderr, "%s: %s\n", name, error.c_str());
            ok = false;
        }
    }
    // Sony SRF (DSC-V3): the keys and the enciphered rows at the body's
    // places, two rows only (the file is mostly the space before them).
    {
        const ArwDescription d = ArwWriter::srfBody("DSC-V3", 64, 2);
        std::string error;
        if (!ArwWriter::writeFile(d, dir + "/srf-v3.srf", &error)) {
            std::fprintf(stderr, "srf-v3.srf: %s\n", error.c_str());
            ok = false;
        }
    }
    // Panasonic RW2 / Leica RWL: each codec; one bit stream whose groups
    // start at 0 (shifted rows), one not a whole number of groups wide.
    struct Rw2Seed {
        const char *name;
        Rw2Description::Codec codec;
        int bits, width, height;
        bool leica, exifIfd, zeros;
    };
    const Rw2Seed rw2Seeds[] = {
        {"rw2-bitstream.rw2", Rw2Description::Codec::Bitstream, 12, 70, 12, false, true, false},
        {"rw2-bitstream-150-zeros.rw2", Rw2Description::Codec::Bitstream, 12, 150, 10, false, true, true},
        {"rw2-packed12.rw2", Rw2Description::Codec::Packed, 12, 60, 10, false, true, false},
        {"rw2-packed14.rw2", Rw2Description::Codec::Packed, 14, 63, 10, false, false, false},
        {"rw2-words16.rw2", Rw2Description::Codec::Unpacked16, 12, 40, 10, false, true, true},
        {"rwl-bitstream.rwl", Rw2Description::Codec::Bitstream, 12, 56, 8, true, false, false},
    };
    for (const Rw2Seed &c : rw2Seeds) {
        Rw2Description d;
        d.codec = c.codec;
        d.bits = c.bits;
        d.rawWidth = c.width;
        d.rawHeight = c.height;
        d.top = 2;
        d.left = 2;
        d.bottom = c.height;
        d.right = c.width - 2;
        d.exifIfd = c.exifIfd;
        if (c.leica) {
            d.make = "LEICA";
            d.model = "D-LUX 4";
        }
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                d.raw.push_back(uint16_t(c.zeros && x % 14 == 0 && y % 3 == 0 ? 0 : 200 + (x * 3 + y * 5) % 700));
        ok &= saveWith<Rw2Writer>(dir, c.name, d);
    }
    // Olympus ORF: each raw layout, both byte orders and both maker notes.
    struct OrfSeed {
        const char *name;
        OrfDescription::Codec codec;
        bool bigEndian, oldNote, blocks;
    };
    using OrfCodec = OrfDescription::Codec;
    const OrfSeed orfSeeds[] = {
        {"orf-compressed.orf", OrfCodec::Compressed, false, false, false},
        {"orf-compressed-mm.orf", OrfCodec::Compressed, true, false, false},
        {"orf-compressed-blocks.orf", OrfCodec::Compressed, true, false, true},
        {"orf-packed-words.orf", OrfCodec::PackedWords, false, true, false},
        {"orf-packed-groups.orf", OrfCodec::PackedGroups, true, true, false},
        {"orf-interlaced.orf", OrfCodec::Interlaced, true, true, true},
        {"orf-unpacked.orf", OrfCodec::Unpacked, false, false, false},
    };
    for (const OrfSeed &c : orfSeeds) {
        OrfDescription d;
        d.codec = c.codec;
        d.bigEndian = c.bigEndian;
        d.oldNote = c.oldNote;
        d.blockDirectories = c.blocks;
        d.width = 60;
        d.height = 40;
        d.previewWidth = 32;
        d.previewHeight = 24;
        d.thumbnail = false;
        const int black[4] = {254, 255, 256, 253};
        std::copy(black, black + 4, d.black);
        d.wbRed = 480;
        d.wbBlue = 400;
        // Smooth areas and sharp edges, so both the short and the escaped
        // codes occur.
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 60; ++x)
                d.raw.push_back(uint16_t(x > 40 && y > 20 ? (x * 997 + y * 331) % 4096 : 256 + ramp(x, y, 10)));
        ok &= saveWith<OrfWriter>(dir, c.name, d);
    }
    // Fujifilm RAF: each container, byte order and layout, small.
    struct RafSeed {
        const char *name;
        bool container, bigEndian, xtrans, compressed;
        int rotated;   // -1 plain, else the layout
    };
    const RafSeed rafSeeds[] = {
        {"raf-bayer-ii.raf", true, false, false, false, -1},
        {"raf-xtrans-mm.raf", true, true, true, false, -1},
        {"raf-bare-mm.raf", false, true, false, false, -1},
        {"raf-rotated0.raf", false, true, false, false, 0},
        {"raf-rotated1.raf", false, true, false, false, 1},
        {"raf-compressed.raf", true, false, true, true, -1},
    };
    for (const RafSeed &r : rafSeeds) {
        RafDescription d;
        d.rawWidth = 36;
        d.rawHeight = 14;
        d.tiffContainer = r.container;
        d.bigEndian = r.bigEndian;
        d.compressed = r.compressed;
        d.cropLeft = 2;
        d.cropTop = 1;
        d.cropWidth = 32;
        d.cropHeight = 12;
        if (r.xtrans) {
            d.model = "X-T3";
            d.xtrans = true;
            for (int y = 0; y < 6; ++y)
                for (int x = 0; x < 6; ++x)
                    d.xtransPattern[y][x] = uint8_t((x + 2 * y) % 3);
        }
        if (r.rotated >= 0) {
            d.model = "FinePix S6000fd";
            d.rotated = true;
            d.rotatedLayout = r.rotated;
            d.imageWidth = 32;
            d.imageHeight = 12;
        }
        for (int y = 0; y < d.rawHeight; ++y)
            for (int x = 0; x < d.rawWidth; ++x)
                d.raw.push_back(ramp(x, y, d.bits));
        ok &= saveWith<RafWriter>(dir, r.name, d);
    }
    // Samsung SRW: each layout; block layout 1 no multiple of 16 wide, block
    // layout 2 with lengths in every block and one-bit prediction modes.
    struct SrwSeed {
        const char *name;
        SrwDescription::Coding coding;
        int bits, width, option;
    };
    const SrwSeed srwSeeds[] = {
        {"srw-padded12.srw", SrwDescription::Coding::PackedPadded, 12, 40, 0},
        {"srw-packed14.srw", SrwDescription::Coding::Packed, 14, 48, 0},
        {"srw-blocks1-12.srw", SrwDescription::Coding::Blocks1, 12, 48, 0},
        {"srw-blocks1-14-width40.srw", SrwDescription::Coding::Blocks1, 14, 40, 0},
        {"srw-rowhuffman12.srw", SrwDescription::Coding::RowHuffman, 12, 48, 0},
        {"srw-blocks2-14.srw", SrwDescription::Coding::Blocks2, 14, 64, 0},
        {"srw-blocks2-12-option3.srw", SrwDescription::Coding::Blocks2, 12, 64, 3},
    };
    for (const SrwSeed &s : srwSeeds) {
        SrwDescription d;
        d.coding = s.coding;
        d.bits = s.bits;
        d.option = s.option;
        d.width = s.width;
        d.height = 12;
        d.previewWidth = 32;
        d.previewHeight = 24;
        for (int y = 0; y < d.height; ++y)
            for (int x = 0; x < d.width; ++x)
                d.raw.push_back(ramp(x, y, s.bits));
        std::string error;
        if (!SrwWriter::writeFile(d, dir + "/" + s.name, &error)) {
            std::fprintf(stderr, "%s: %s\n", s.name, error.c_str());
            ok = false;
        }
    }
    return ok ? 0 : 1;
}
