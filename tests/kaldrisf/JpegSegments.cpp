#include "JpegSegments.h"

JpegSegments JpegSegments::of(const std::vector<uint8_t> &s)
{
    JpegSegments m;
    m.sosEnd = s.size();
    size_t p = 2;
    while (p + 4 <= s.size()) {
        const uint8_t marker = s[p + 1];
        const size_t len = size_t(s[p + 2] << 8 | s[p + 3]);
        if (marker == 0xC4) {
            m.dht = p;
            m.dhtLen = len + 2;
        } else if (marker == 0xC3) {
            m.sof = p;
        } else if (marker == 0xDA) {
            m.sos = p;
            m.sosEnd = p + 2 + len;
            break;
        }
        p += 2 + len;
    }
    m.eoi = s.size() - 2;
    return m;
}
