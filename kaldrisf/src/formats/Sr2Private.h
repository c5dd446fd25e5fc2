// Sony's private data in ARW files: IFD0's DNGPrivateData points at the
// SR2Private directory, which gives the place, length and key of the
// SR2SubIFD, a directory stored enciphered that holds the levels and the
// as-shot balance.
#ifndef KALDRIS_SR2PRIVATE_H
#define KALDRIS_SR2PRIVATE_H

#include "io/ByteStream.h"
#include "tiff/TiffTree.h"

#include <cstddef>
#include <cstdint>

namespace kaldris {

// All per colour index: R 0, G 1, B 2, the green of the blue rows 3.
struct Sr2Levels {
    bool deciphered = false;     // the SR2SubIFD was found, deciphered and read
    bool haveBlack = false;
    unsigned black[4] = {0, 0, 0, 0};
    bool haveWhite = false;
    unsigned white = 0;
    bool haveBalance = false;
    double balance[4] = {1, 1, 1, 1};
};

class Sr2Private {
public:
    // XOR with the key stream over `words` 32-bit words (big-endian bytes);
    // the same call enciphers and deciphers.
    static void decipher(uint8_t *data, size_t words, uint32_t key);

    // What the file's private data say. Missing, broken or keyless private
    // data give an empty result; never throws.
    static Sr2Levels read(const ByteStream &file, const TiffTree &tree);
};

}

#endif
