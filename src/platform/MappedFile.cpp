#include "platform/MappedFile.h"

#include <sys/mman.h>
#include <sys/stat.h>

#include <utility>

namespace platform {

MappedFile::MappedFile(int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        m_bFailed = true;
        return;
    }
    if (info.st_size == 0)
        return;
    void* mapped = ::mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapped == MAP_FAILED) {
        m_bFailed = true;
        return;
    }
    m_pData = static_cast<const char*>(mapped);
    m_nSize = static_cast<std::size_t>(info.st_size);
}

MappedFile::~MappedFile() { Reset(); }

MappedFile::MappedFile(MappedFile&& other) noexcept
    : m_pData(std::exchange(other.m_pData, nullptr))
    , m_nSize(std::exchange(other.m_nSize, 0))
    , m_bFailed(std::exchange(other.m_bFailed, false))
{}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept
{
    if (this != &other) {
        Reset();
        m_pData = std::exchange(other.m_pData, nullptr);
        m_nSize = std::exchange(other.m_nSize, 0);
        m_bFailed = std::exchange(other.m_bFailed, false);
    }
    return *this;
}

void MappedFile::Reset()
{
    if (m_pData != nullptr)
        ::munmap(const_cast<char*>(m_pData), m_nSize);
    m_pData = nullptr;
    m_nSize = 0;
}

} // namespace platform
