#include "cli/PageCapture.h"

#include "capture/Capture.h"
#include "cli/Command.h"
#include "platform/Exceptions.h"

namespace cli {

PageCapture CapturePage(const std::string& typedAddress)
{
    PageCapture result;
    std::string error;
    try {
        auto links = capture::CapturePage(capture::AddressToCapture(typedAddress), nullptr, &error);
        if (links) {
            result.links = std::move(*links);
            return result;
        }
        PrintError(error);
        result.status = kCannotOpen;
    } catch (const CException& failure) {
        PrintError(failure.what());
        result.status = kTransferFailed;
    }
    return result;
}

} // namespace cli
