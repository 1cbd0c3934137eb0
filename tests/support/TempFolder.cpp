#include "support/TempFolder.h"

#include "support/Files.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace test {

TempFolder::TempFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/plumeroc-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string TempFolder::operator/(std::string_view relative) const
{
    std::string path = m_path;
    path += '/';
    path += relative;
    return path;
}

std::string TempFolder::Write(std::string_view relative, const std::string& bytes) const
{
    const std::string path = *this / relative;
    WriteFile(path, bytes);
    return path;
}

ScopedEnv::ScopedEnv(const char* name, std::optional<std::string> value) : m_name(name)
{
    if (const char* old = std::getenv(name))
        m_old = old;
    Apply(m_name, value);
}

ScopedEnv::~ScopedEnv() { Apply(m_name, m_old); }

void ScopedEnv::Apply(const std::string& name, const std::optional<std::string>& value)
{
    if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
    else
        ::unsetenv(name.c_str());
}

TempHome::TempHome() = default;

} // namespace test
