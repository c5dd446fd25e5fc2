#include "ExifBlockParser.h"

#include <cstring>

namespace {

constexpr uint64_t TiffBase = 6;
constexpr uint64_t EntrySize = 12;

constexpr ushort TagExposureTime = 33434;
constexpr ushort TagFNumber = 33437;
constexpr ushort TagIsoSpeed = 34855;
constexpr ushort TagExifIfd = 34665;
constexpr ushort TagGpsIfd = 34853;

// An IFD of k entries at p needs its count, the entries and the next-IFD link.
bool ifdFits(uint64_t p, uint64_t k, uint64_t n)
{
    return p + EntrySize * k + 6 <= n;
}

}

void ExifBlockParser::clear()
{
    exposureTime = 0;
    fNumber = 0;
    isoSpeed = 0;
}

ushort ExifBlockParser::readU16(const uchar *b, bool le)
{
    return le ? ushort(b[0] | (b[1] << 8)) : ushort((b[0] << 8) | b[1]);
}

uint ExifBlockParser::readU32(const uchar *b, bool le)
{
    return le ? uint(b[0]) | (uint(b[1]) << 8) | (uint(b[2]) << 16) | (uint(b[3]) << 24)
              : (uint(b[0]) << 24) | (uint(b[1]) << 16) | (uint(b[2]) << 8) | uint(b[3]);
}

double ExifBlockParser::readRational(const uchar *b, bool le)
{
    const double num = readU32(b, le);
    const double den = readU32(b + 4, le);
    return den < 1e-20 ? 0.0 : num / den;
}

ExifBlockParser::IfdEntry ExifBlockParser::decodeIfdEntry(const uchar *block, uint64_t entry, bool le,
                                                          uint64_t base, uint64_t length)
{
    IfdEntry e;
    if (entry + EntrySize > length) {
        e.tag = 0xFF;
        return e;
    }
    const uchar *p = block + entry;
    e.tag = readU16(p, le);
    e.format = readU16(p + 2, le);
    e.components = readU32(p + 4, le);
    e.value = readU32(p + 8, le);
    std::memcpy(e.valueBytes, p + 8, 4);
    switch (e.format) {
    case 3:
        e.number = readU16(p + 8, le);
        break;
    case 4:
        e.number = e.value;
        break;
    case 5: {
        const uint64_t offset = uint64_t(e.value) + base;
        if (offset + 8 <= length)
            e.number = readRational(block + offset, le);
        break;
    }
    case 1:
    case 2:
    case 7:
    case 9:
    case 10:
        break;
    default:
        e.tag = 0xFF;
        break;
    }
    return e;
}

QString ExifBlockParser::readEntryString(const uchar *block, const IfdEntry &e, bool, uint64_t base,
                                         uint64_t length)
{
    if (e.format != 2 || e.components == 0)
        return QString();
    const uint64_t count = e.components;
    if (count <= 4) {
        const char *bytes = reinterpret_cast<const char *>(e.valueBytes);
        return QString::fromLatin1(bytes, int(strnlen(bytes, size_t(count))));
    }
    const uint64_t offset = uint64_t(e.value) + base;
    if (offset + count > length)
        return QString();
    const char *start = reinterpret_cast<const char *>(block + offset);
    return QString::fromLatin1(start, int(strnlen(start, size_t(count))));
}

int ExifBlockParser::parseJpegExif(const uchar *data, uint length)
{
    if (!data || length < 4)
        return NoExif;
    if (data[0] != 0xFF || data[1] != 0xD8)
        return NoJpeg;
    clear();
    const uint64_t n = length;
    uint64_t i = 0;
    while (i + 1 < n && !(data[i] == 0xFF && data[i + 1] == 0xE1))
        ++i;
    if (i + 4 > n)
        return NoExif;
    const uint64_t segment = readU16(data + i + 2, false);
    if (i + segment + 2 > n || segment < 16)
        return Corrupt;
    return parseExifBlock(data + i + 4, uint(n - (i + 4)));
}

int ExifBlockParser::parseExifBlock(const uchar *block, uint length)
{
    clear();
    const uint64_t n = length;
    if (!block || n < 6)
        return NoExif;
    if (std::memcmp(block, "Exif\0\0", 6) != 0)
        return NoExif;
    if (n < 14)
        return Corrupt;
    bool le;
    if (block[6] == 'I' && block[7] == 'I')
        le = true;
    else if (block[6] == 'M' && block[7] == 'M')
        le = false;
    else
        return UnknownByteOrder;
    if (readU16(block + 8, le) != 42)
        return Corrupt;

    const uint64_t p = uint64_t(readU32(block + 10, le)) + TiffBase;
    if (p >= n || p + 2 > n)
        return Corrupt;
    uint64_t k = readU16(block + p, le);
    if (!ifdFits(p, k, n))
        return Corrupt;
    uint64_t exifIfd = n, gpsIfd = n;
    for (uint64_t j = 0; j < k; ++j) {
        const IfdEntry e = decodeIfdEntry(block, p + 2 + EntrySize * j, le, TiffBase, n);
        if (e.tag == TagExifIfd)
            exifIfd = uint64_t(e.number) + TiffBase;
        else if (e.tag == TagGpsIfd)
            gpsIfd = uint64_t(e.number) + TiffBase;
    }

    if (exifIfd + 4 <= n) {
        k = readU16(block + exifIfd, le);
        if (!ifdFits(exifIfd, k, n))
            return Corrupt;
        for (uint64_t j = 0; j < k; ++j) {
            const IfdEntry e = decodeIfdEntry(block, exifIfd + 2 + EntrySize * j, le, TiffBase, n);
            if (e.tag == TagExposureTime && e.format == 5)
                exposureTime = e.number;
            else if (e.tag == TagFNumber && e.format == 5)
                fNumber = e.number;
            else if (e.tag == TagIsoSpeed && e.format == 3)
                isoSpeed = ushort(e.number);
        }
    }

    if (gpsIfd + 4 > n)
        return Ok;
    k = readU16(block + gpsIfd, le);
    if (!ifdFits(gpsIfd, k, n))
        return Corrupt;
    return Ok;
}
