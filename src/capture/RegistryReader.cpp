#include "capture/RegistryReader.h"

#include <cstring>

namespace capture {

CRegistryReader::~CRegistryReader() { Close(); }

bool CRegistryReader::Open(RegistryRoot root, std::string_view subkey)
{
    Close();
    if (root != RegistryRoot::CurrentUser)
        return false;
    m_key = platform::OpenCurrentUserKey(subkey);
    return m_key != nullptr;
}

bool CRegistryReader::GetString(std::string_view name, char* buffer, std::size_t size) const
{
    if (m_key == nullptr)
        return false;
    if (size == 0)
        return false; // not even room for the empty string
    buffer[0] = '\0';
    const auto value = m_key->QueryValue(name);
    if (!value || value->size() > size - 1)
        return false;
    std::memcpy(buffer, value->data(), value->size());
    buffer[value->size()] = '\0';
    return true;
}

void CRegistryReader::Close() { m_key.reset(); }

} // namespace capture
