// Sony's XOR key stream: 32-bit words (big-endian bytes) made from one 32-bit
// key, enciphering the SR2 private data of ARW files and the raw data of SRF
// files. One stream runs on across calls, so data deciphered in pieces take
// the same words as data deciphered whole.
#ifndef KALDRIS_SONYKEYSTREAM_H
#define KALDRIS_SONYKEYSTREAM_H

#include <cstddef>
#include <cstdint>

namespace kaldris {

class SonyKeyStream {
public:
    explicit SonyKeyStream(uint32_t key);

    // XOR `words` 32-bit words at data with the stream's next words; the
    // same call enciphers and deciphers.
    void apply(uint8_t *data, size_t words);

private:
    uint32_t m_pad[128];
    uint32_t m_p = 128;
};

}

#endif
