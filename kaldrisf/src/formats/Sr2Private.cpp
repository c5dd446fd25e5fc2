#include "formats/Sr2Private.h"

#include "formats/SonyKeyStream.h"
#include "tiff/TiffParser.h"

#include <algorithm>
#include <new>
#include <vector>

namespace kaldris {

namespace {

enum Tag : uint16_t {
    DngPrivateData = 0xC634,
    SubIfdOffset = 0x7200, SubIfdLength = 0x7201, SubIfdKey = 0x7221,
    BlackLevel = 0x7300, WbGrbgLevels = 0x7303, BlackLevel2 = 0x7310, WbRggbLevels = 0x7313,
    WhiteLevel = 0x787F,
};

// A 32-bit value that some files store as four bytes: in the file's order.
bool word32(const TiffEntry *e, bool bigEndian, uint32_t &out)
{
    if (!e || !e->count())
        return false;
    if (e->isInteger() && e->type() != TIFF_BYTE && e->type() != TIFF_UNDEFINED && e->type() != TIFF_SBYTE) {
        out = uint32_t(e->u(0));
        return true;
    }
    if (e->byteSize() < 4)
        return false;
    out = ByteStream(e->bytes(), 4, bigEndian).u32(0);
    return true;
}

bool fourShorts(const TiffIfd &ifd, uint16_t tag, unsigned v[4])
{
    const TiffEntry *e = ifd.get(tag);
    if (!e || !e->isInteger() || e->count() < 4)
        return false;
    for (uint32_t i = 0; i < 4; ++i)
        v[i] = unsigned(e->u(i) & 0xFFFF);
    return true;
}

}

void Sr2Private::decipher(uint8_t *data, size_t words, uint32_t key)
{
    SonyKeyStream(key).apply(data, words);
}

Sr2Levels Sr2Private::read(const ByteStream &fileAny, const TiffTree &tree)
{
    Sr2Levels out;
    try {
        ByteStream file = fileAny;
        file.setBigEndian(tree.bigEndian);
        uint32_t privateAt = 0, offset = 0, length = 0, key = 0;
        if (!word32(tree.chain.front()->get(DngPrivateData), tree.bigEndian, privateAt))
            return out;
        const auto priv = TiffParser::readIfdAt(file, privateAt);
        if (!priv || !word32(priv->get(SubIfdOffset), tree.bigEndian, offset)
            || !word32(priv->get(SubIfdLength), tree.bigEndian, length)
            || !word32(priv->get(SubIfdKey), tree.bigEndian, key))
            return out;
        if (length < 6 || !file.contains(offset, length) || length > (64u << 20))
            return out;
        std::vector<uint8_t> plain(file.data() + offset, file.data() + offset + length);
        decipher(plain.data(), plain.size() / 4, key);
        // The directory's values are placed by their offsets in the file.
        const ByteStream s(plain.data(), plain.size(), tree.bigEndian);
        const auto sub = TiffParser::readIfdAt(s, 0, uint64_t(0) - offset);
        if (!sub)
            return out;
        out.deciphered = true;

        unsigned v[4];
        // R G G B positions to colours R, G, B, G2.
        if (fourShorts(*sub, BlackLevel2, v) || fourShorts(*sub, BlackLevel, v)) {
            out.black[0] = v[0];
            out.black[1] = v[1];
            out.black[3] = v[2];
            out.black[2] = v[3];
            out.haveBlack = true;
        }
        if (const TiffEntry *w = sub->get(WhiteLevel); w && w->isInteger() && w->count() >= 1) {
            unsigned lowest = 0xFFFF;
            for (uint32_t i = 0; i < std::min<uint32_t>(w->count(), 3); ++i)
                lowest = std::min(lowest, unsigned(w->u(i) & 0xFFFF));
            // Clipping shows in every channel at the lowest of them.
            if (lowest > 0) {
                out.white = lowest;
                out.haveWhite = true;
            }
        }
        if (out.haveWhite && out.haveBlack
            && *std::max_element(out.black, out.black + 4) >= out.white)
            out.haveBlack = false;
        double level[4] = {0, 0, 0, 0};   // R G B G2
        bool balance = false;
        if (fourShorts(*sub, WbRggbLevels, v)) {
            level[0] = v[0];
            level[1] = v[1];
            level[3] = v[2];
            level[2] = v[3];
            balance = true;
        } else if (fourShorts(*sub, WbGrbgLevels, v)) {
            level[1] = v[0];
            level[0] = v[1];
            level[2] = v[2];
            level[3] = v[3];
            balance = true;
        }
        if (balance && std::all_of(level, level + 4, [](double l) { return l > 0; })) {
            for (int c = 0; c < 4; ++c)
                out.balance[c] = level[c] / level[1];
            out.haveBalance = true;
        }
    } catch (const DecodeError &) {
        return Sr2Levels{};
    } catch (const std::bad_alloc &) {
        return Sr2Levels{};
    }
    return out;
}

}
