#include "cli/SaveReport.h"

#include "cli/Command.h"

#include <string>

namespace cli {

void SaveReport::Add(const capture::MovieSave& save)
{
    using Result = capture::MovieSave::Result;
    switch (save.result) {
    case Result::kSaved:
        if (save.status >= 400) {
            PrintError(save.address + ": the server answered with status " + std::to_string(save.status)
                       + "; its answer was saved as " + save.path);
            m_bErrorStatus = true;
        }
        return;
    case Result::kNoName:
        PrintError("skipped " + save.address + ": " + save.error);
        m_bNotOpened = true;
        return;
    case Result::kNotOpened:
        PrintError(save.error);
        m_bNotOpened = true;
        return;
    case Result::kBrokeOff:
        // What was written before the failure stays, as in the window.
        PrintError(save.error);
        m_bBrokeOff = true;
        return;
    }
}

int SaveReport::Status() const
{
    if (m_bBrokeOff)
        return kTransferFailed;
    if (m_bNotOpened)
        return kCannotOpen;
    return m_bErrorStatus ? kErrorStatus : kOk;
}

} // namespace cli
