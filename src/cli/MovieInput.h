#pragma once
// A MOVIE operand of info and needs: a file, or an http(s) address fetched with the project's
// fetcher into memory (the program writes nothing but the movies it saves).
#include <optional>
#include <string>
#include <string_view>

namespace cli {

class MovieInput {
public:
    // Opens `operand`; on failure Status() says why (kCannotOpen, kTransferFailed, kErrorStatus),
    // with the message printed.
    explicit MovieInput(const std::string& operand);
    ~MovieInput();
    MovieInput(const MovieInput&) = delete;
    MovieInput& operator=(const MovieInput&) = delete;

    int Status() const { return m_nStatus; }
    std::string_view Bytes() const { return {m_pData, m_nSize}; }
    // The movie's own address: the http(s) address given, or the file's "file://" address.
    const std::string& Address() const { return m_strAddress; }
    bool IsFile() const { return m_bFile; }

private:
    void Map(int fd, const std::string& name);

    int m_nStatus = 0;
    const char* m_pData = nullptr;
    std::size_t m_nSize = 0;
    std::string m_strAddress;
    bool m_bFile = true;
};

// True for an operand that is an http or https address rather than a file.
bool IsWebAddress(std::string_view operand);

} // namespace cli
