#include "io/FileMap.h"

#include "io/FrameBuffer.h"
#include "io/FramePool.h"

#include "Kaldris.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

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
    size_t got = 0;
    while (got < wanted) {
        const ssize_t n = ::pread(fd, m_data + got, wanted - got, off_t(got));
        if (n > 0) {
            got += size_t(n);
        } else if (n == 0) {
            break;   // cut since the size was taken: what was read is the file
        } else if (errno != EINTR) {
            ::close(fd);
            close();
            return KALDRIS_IO_ERROR;
        }
    }
    ::close(fd);
    m_size = got;
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
