// The bytes of an opened file: memory-mapped from disk, or an owned copy of
// a caller's buffer. Decoders read straight from it; nothing is copied.
#ifndef KALDRIS_FILEMAP_H
#define KALDRIS_FILEMAP_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kaldris {

class FileMap {
public:
    FileMap() = default;
    ~FileMap();
    FileMap(const FileMap &) = delete;
    FileMap &operator=(const FileMap &) = delete;

    // KALDRIS_SUCCESS, or KALDRIS_IO_ERROR when the file cannot be read.
    int mapFile(const char *path);
    int copyBuffer(const void *data, size_t size);
    void close();
    // Drops a mapped file's pages from the process, which still reads them
    // (from the page cache, or the disk) when it touches them again: once the
    // data is unpacked the compressed bytes need not count as its memory.
    void releasePages();

    const uint8_t *data() const { return m_data; }
    size_t size() const { return m_size; }

private:
    const uint8_t *m_data = nullptr;
    size_t m_size = 0;
    void *m_map = nullptr;
    size_t m_mapSize = 0;
    std::vector<uint8_t> m_copy;
};

}

#endif
