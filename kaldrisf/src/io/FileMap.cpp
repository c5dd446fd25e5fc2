#include "io/FileMap.h"

#include "io/FrameBuffer.h"
#include "io/FramePool.h"
#include "io/ParallelFor.h"

#include "Kaldris.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace kaldris {

namespace {

// An empty file still gets a readable (if zero-length) pointer.
uint8_t emptyFile[1];

}

FileMap::~FileMap() { close(); }

void FileMap::close()
{
    if (m_data != emptyFile)
        releaseFrame(m_data);
    m_data = nullptr;
    m_size = 0;
}

bool FileMap::allocate(size_t size)
{
    close();
    if (size == 0) {
        m_data = emptyFile;
        return true;
    }
    // A frame buffer: the next file's copy goes into this one's pages. A
    // quarter more room lets a somewhat larger file of the same camera fit
    // the spare; room never written costs no memory.
    m_data = static_cast<uint8_t *>(allocateFrame(size >= FramePool::PooledBytes ? size + size / 4 : size));
    return m_data != nullptr;
}

int FileMap::mapFile(const char *path)
{
    close();
    if (!path)
        return KALDRIS_IO_ERROR;
    // Not blocking: a named pipe would wait for a writer before the check
    // below could refuse it.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return KALDRIS_IO_ERROR;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        ::close(fd);
        return KALDRIS_IO_ERROR;
    }
    if (uint64_t(st.st_size) > SIZE_MAX || !allocate(size_t(st.st_size))) {
        ::close(fd);
        return KALDRIS_OUT_OF_MEMORY;
    }
    const size_t wanted = size_t(st.st_size);
    // One thread copies from the page cache at a fraction of the memory's
    // speed: a large file is read in pieces on every core.
    const size_t piece = size_t(4) << 20;
    const size_t pieces = (wanted + piece - 1) / piece;
    std::vector<size_t> got;
    try {
        got.assign(pieces, 0);
    } catch (...) {
        ::close(fd);
        close();
        return KALDRIS_OUT_OF_MEMORY;
    }
    std::atomic<bool> failed{false};
    parallelFor(pieces, 0, [&](size_t i) {
        const size_t from = i * piece, size = std::min(piece, wanted - from);
        size_t &done = got[i];
        while (done < size && !failed.load(std::memory_order_relaxed)) {
            const ssize_t n = ::pread(fd, m_data + from + done, size - done, off_t(from + done));
            if (n > 0)
                done += size_t(n);
            else if (n == 0)
                break;
            else if (errno != EINTR)
                failed.store(true);
        }
    });
    ::close(fd);
    if (failed.load()) {
        close();
        return KALDRIS_IO_ERROR;
    }
    // Cut since the size was taken: what was read up to the first short
    // piece is the file.
    size_t size = 0;
    for (size_t i = 0; i < pieces; ++i) {
        size += got[i];
        if (got[i] < std::min(piece, wanted - i * piece))
            break;
    }
    m_size = size;
    return KALDRIS_SUCCESS;
}

int FileMap::copyBuffer(const void *data, size_t size)
{
    close();
    if (!data && size)
        return KALDRIS_IO_ERROR;
    if (!allocate(size))
        return KALDRIS_OUT_OF_MEMORY;
    if (size)
        std::memcpy(m_data, data, size);
    m_size = size;
    return KALDRIS_SUCCESS;
}

}
