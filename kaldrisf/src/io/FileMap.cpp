#include "io/FileMap.h"

#include "Kaldris.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kaldris {

FileMap::~FileMap() { close(); }

void FileMap::close()
{
    if (m_map)
        munmap(m_map, m_mapSize);
    m_map = nullptr;
    m_mapSize = 0;
    std::vector<uint8_t>().swap(m_copy);
    m_data = nullptr;
    m_size = 0;
}

int FileMap::mapFile(const char *path)
{
    close();
    if (!path)
        return KALDRIS_IO_ERROR;
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return KALDRIS_IO_ERROR;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return KALDRIS_IO_ERROR;
    }
    if (st.st_size == 0) {
        ::close(fd);
        m_data = m_copy.data();
        return KALDRIS_SUCCESS;
    }
    void *p = mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (p == MAP_FAILED)
        return KALDRIS_IO_ERROR;
    m_map = p;
    m_mapSize = size_t(st.st_size);
    m_data = static_cast<const uint8_t *>(p);
    m_size = m_mapSize;
    return KALDRIS_SUCCESS;
}

void FileMap::releasePages()
{
    if (m_map)
        madvise(m_map, m_mapSize, MADV_DONTNEED);
}

int FileMap::copyBuffer(const void *data, size_t size)
{
    close();
    if (!data && size)
        return KALDRIS_IO_ERROR;
    m_copy.assign(static_cast<const uint8_t *>(data), static_cast<const uint8_t *>(data) + size);
    m_data = m_copy.data();
    m_size = size;
    return KALDRIS_SUCCESS;
}

}
