#include "formats/SonyKeyStream.h"

namespace kaldris {

SonyKeyStream::SonyKeyStream(uint32_t key)
{
    for (int i = 0; i < 4; ++i)
        m_pad[i] = key = key * 48828125u + 1u;
    m_pad[3] = m_pad[3] << 1 | (m_pad[0] ^ m_pad[2]) >> 31;
    for (int i = 4; i < 127; ++i)
        m_pad[i] = (m_pad[i - 4] ^ m_pad[i - 2]) << 1 | (m_pad[i - 3] ^ m_pad[i - 1]) >> 31;
    m_pad[127] = 0;
}

void SonyKeyStream::apply(uint8_t *data, size_t words)
{
    uint32_t *pad = m_pad;
    uint32_t p = m_p;
    for (size_t w = 0; w < words; ++w, ++p) {
        const uint32_t k = pad[(p - 1) & 127] = pad[p & 127] ^ pad[(p + 64) & 127];
        uint8_t *b = data + 4 * w;
        b[0] = uint8_t(b[0] ^ k >> 24);
        b[1] = uint8_t(b[1] ^ k >> 16);
        b[2] = uint8_t(b[2] ^ k >> 8);
        b[3] = uint8_t(b[3] ^ k);
    }
    m_p = p;
}

}
