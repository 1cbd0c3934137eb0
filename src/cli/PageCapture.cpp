#include "cli/PageCapture.h"

#include "capture/Capture.h"
#include "cli/Command.h"
#include "platform/Exceptions.h"

namespace cli {

PageCapture CapturePage(const std::string& typedAddress, bool literal)
{
    PageCapture result;
    std::string error;
    try {
        const auto finders = literal ? capture::Finders::MarkupOnly : capture::Finders::Both;
        auto links = capture::CapturePage(capture::AddressToCapture(typedAddress), finders, nullptr, &error);
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
