#pragma once
// A file's bytes mapped read-only into memory for as long as the object lives.
#include <cstddef>
#include <string_view>

namespace platform {

class MappedFile {
public:
    MappedFile() = default;
    // Maps the whole regular file open at `fd` (which may be closed afterwards). Empty for an empty file
    // and when it cannot be mapped; Failed() tells the two apart.
    explicit MappedFile(int fd);
    ~MappedFile();
    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    std::string_view Bytes() const { return {m_pData, m_nSize}; }
    bool Failed() const { return m_bFailed; }

private:
    void Reset();

    const char* m_pData = nullptr;
    std::size_t m_nSize = 0;
    bool m_bFailed = false;
};

} // namespace platform
