// The bytes of an opened file, read into memory, or an owned copy of a
// caller's buffer. Decoders read straight from it.
//
// The file is read rather than mapped: another program may shorten it while
// it is decoded, and a mapping's pages past the new end would fault (SIGBUS)
// on whichever thread touched them. A copy taken once can only be short, and
// a short file is what the bounds-checked readers report as truncated.
#ifndef KALDRIS_FILEMAP_H
#define KALDRIS_FILEMAP_H

#include <cstddef>
#include <cstdint>

namespace kaldris {

class FileMap {
public:
    FileMap() = default;
    ~FileMap();
    FileMap(const FileMap &) = delete;
    FileMap &operator=(const FileMap &) = delete;

    // KALDRIS_SUCCESS, or KALDRIS_IO_ERROR when the file cannot be read. A
    // file shortened during the read keeps the bytes read before the cut.
    int mapFile(const char *path);
    int copyBuffer(const void *data, size_t size);
    void close();
    // Kept for the decoder's call after unpacking: the bytes are a private
    // copy now, still needed by a later thumbnail read, so nothing is dropped.
    void releasePages() {}

    const uint8_t *data() const { return m_data; }
    size_t size() const { return m_size; }

private:
    bool allocate(size_t size);

    uint8_t *m_data = nullptr;
    size_t m_size = 0;
};

}

#endif
