#pragma once
// The archive's raw captures: <archive>/web/<timestamp>id_/<original address> gives the bytes the site sent
// at that time, with its status and headers, nothing of the replay rewritten. Asked for a time it holds no
// capture at, the archive sends the capture nearest to it.
#include <optional>
#include <string>
#include <string_view>

namespace wayback {

std::string RawCaptureAddress(std::string_view archive, std::string_view timestamp, std::string_view original);

struct RawCapture {
    std::string timestamp; // 1 to 14 digits, as the address gives it
    std::string original;
};

// What a raw capture address of `archive` names; nothing for any other address.
std::optional<RawCapture> ReadRawCaptureAddress(std::string_view archive, std::string_view address);

// The original address of a raw capture address of `archive`; any other address as it is.
std::string OriginalAddress(std::string_view archive, const std::string& address);

// `address` lies below `archive`: its scheme and host compared without case, then its path.
bool IsBelowArchive(std::string_view archive, std::string_view address);

} // namespace wayback
