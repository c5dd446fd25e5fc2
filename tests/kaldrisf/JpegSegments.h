// Where the marker segments of a fixture JPEG stream stand, for tests that
// cut or edit a stream at a known place.
#ifndef JPEGSEGMENTS_H
#define JPEGSEGMENTS_H

#include <cstddef>
#include <cstdint>
#include <vector>

struct JpegSegments {
    // Offsets of the 0xFF of a marker; dht and sof are the last DHT and SOF3.
    size_t dht = 0, dhtLen = 0;
    size_t sof = 0;
    size_t sos = 0;
    size_t sosEnd = 0;   // first byte of the entropy-coded data; the stream's size when it has no scan
    size_t eoi = 0;

    static JpegSegments of(const std::vector<uint8_t> &s);
};

#endif
