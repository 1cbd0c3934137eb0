#pragma once
// Scratch folders and environment settings for tests that touch the file system or the home folder.
#include <optional>
#include <string>
#include <string_view>

namespace test {

// A fresh folder below TMPDIR (or /tmp), removed with everything in it at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return m_path; }
    // The path of `relative` inside the folder.
    std::string operator/(std::string_view relative) const;
    // Writes `bytes` to `relative` inside the folder (creating the folders above it); returns its path.
    std::string Write(std::string_view relative, const std::string& bytes) const;

private:
    std::string m_path;
};

// Sets (or, with nothing, unsets) an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    static void Apply(const std::string& name, const std::optional<std::string>& value);

    std::string m_name;
    std::optional<std::string> m_old;
};

// A fresh folder that HOME points at while the object lives. The XDG folder variables are unset, so
// that everything below the home is found as a program finds it by default and the configuration of
// the machine running the tests is never read. All are restored afterwards.
class TempHome : public TempFolder {
public:
    TempHome();

private:
    ScopedEnv m_home{"HOME", Path()};
    ScopedEnv m_config{"XDG_CONFIG_HOME", std::nullopt};
    ScopedEnv m_cache{"XDG_CACHE_HOME", std::nullopt};
    ScopedEnv m_data{"XDG_DATA_HOME", std::nullopt};
    ScopedEnv m_state{"XDG_STATE_HOME", std::nullopt};
};

} // namespace test
