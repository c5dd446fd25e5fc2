// The benchmarks' raw files: a smooth scene with noise, so the Huffman codes
// are about as long as a real exposure's, stored as lossless-JPEG tiles of
// 256 x 256 with two components a JPEG row, RGGB.
#ifndef LOADSCENE_H
#define LOADSCENE_H

#include "DngFrame.h"

#include <QString>

class LoadScene
{
public:
    // `phase` moves the light, so two files of one size differ.
    static DngFrame frame(int width, int height, int bits, double phase = 0);
    // False, with a message on stderr, when the file cannot be written.
    static bool write(const QString &path, int width, int height, int bits, double phase = 0);
};

#endif
