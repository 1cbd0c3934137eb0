#pragma once
// How save and save-all report the movies they saved: a line on standard error for each movie that did
// not come through whole from a willing server, and one exit status for the lot.
#include "capture/SaveAll.h"

namespace cli {

class SaveReport {
public:
    // Prints what went wrong with `save`, if anything.
    void Add(const capture::MovieSave& save);

    // kTransferFailed when a transfer broke off; otherwise kCannotOpen when an address or a file could
    // not be opened or a movie had no name; otherwise kErrorStatus when a server answered with an
    // error status (its answer saved all the same); kOk when none of these happened.
    int Status() const;

private:
    bool m_bBrokeOff = false;
    bool m_bNotOpened = false;
    bool m_bErrorStatus = false;
};

} // namespace cli
