// Frame-sized pixel buffers, shared by the library and the program: the
// decoder's raw data, the program's working copy and the processed image.
// A released buffer is kept as a spare and handed to the next request it
// fits, so stepping through one camera's files clears no fresh pages (the
// kernel zeroes every new page, which costs as much as decoding into it).
#ifndef KALDRISFRAMES_H
#define KALDRISFRAMES_H

#include <cstddef>

namespace kaldris {

// Not zeroed. A spare is reused when it is big enough and the request needs
// at least half of it; a spare twice too big is freed instead. Large
// buffers are 2 MB aligned and offered transparent huge pages. Release with
// releaseFrame (std::free is safe too, the buffer is then not kept).
void *allocateFrame(size_t bytes);
// Keeps a buffer from allocateFrame, or any other malloc block, as a spare
// when it is large; frees it otherwise. Null is ignored.
void releaseFrame(void *block);
// Frees every spare.
void dropSpareFrames();
// Spares held now, and their bytes (for tests and benchmarks).
size_t spareFrameCount();
size_t spareFrameBytes();

}

#endif
