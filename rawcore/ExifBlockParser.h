// Reads exposure time, f-number and ISO speed from the EXIF block of an
// embedded JPEG thumbnail. Every offset is checked in 64-bit arithmetic, so
// no value in a corrupt block can make it read outside the bytes given.
#ifndef EXIFBLOCKPARSER_H
#define EXIFBLOCKPARSER_H

#include <QString>

#include <cstdint>

typedef unsigned char uchar;
typedef unsigned int uint;
typedef unsigned short ushort;

class ExifBlockParser
{
public:
    enum Result {
        Ok = 0,
        NoJpeg = 1982,          // no start-of-image marker
        NoExif = 1983,          // too short, no APP1 segment or no EXIF header
        UnknownByteOrder = 1984,
        Corrupt = 1985,
    };

    struct IfdEntry {
        ushort tag = 0;
        ushort format = 0;
        uint components = 0;
        uint value = 0;         // the value-or-offset field as a number
        uchar valueBytes[4] = {0, 0, 0, 0};  // the same field in file order
        double number = 0;      // formats 3, 4 and 5
    };

    double exposureTime = 0;
    double fNumber = 0;
    ushort isoSpeed = 0;

    int parseJpegExif(const uchar *data, uint length);
    int parseExifBlock(const uchar *block, uint length);
    void clear();

    static ushort readU16(const uchar *bytes, bool littleEndian);
    static uint readU32(const uchar *bytes, bool littleEndian);
    static double readRational(const uchar *bytes, bool littleEndian);
    // entry: position of the 12-byte entry in block; base: where TIFF offsets
    // count from (6, after "Exif\0\0"). The entry itself must lie inside length.
    static IfdEntry decodeIfdEntry(const uchar *block, uint64_t entry, bool littleEndian, uint64_t base,
                                   uint64_t length);
    // Format 2 (ASCII) values; empty when they do not lie inside the block.
    static QString readEntryString(const uchar *block, const IfdEntry &e, bool littleEndian, uint64_t base,
                                   uint64_t length);
};

#endif
