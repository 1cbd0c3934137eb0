#include "cli/CaptureRows.h"

#include "capture/UrlFetcher.h"
#include "cli/Command.h"
#include "html/SwfLinks.h"
#include "platform/Exceptions.h"

namespace cli {

std::optional<Operands> ReadOperands(const std::vector<std::string>& args, std::size_t count, bool allowNul,
                                     const char* synopsis)
{
    Operands operands;
    bool optionsEnded = false;
    for (const std::string& arg : args) {
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && allowNul && arg == "-0") {
            operands.nulTerminated = true;
        } else if (!optionsEnded && arg.size() > 1 && arg.front() == '-') {
            PrintError("unknown option '" + arg + "' (usage: plumeroc-grab " + synopsis + ")");
            return std::nullopt;
        } else {
            operands.values.push_back(arg);
        }
    }
    if (operands.values.size() != count) {
        PrintError(std::string("wrong number of arguments (usage: plumeroc-grab ") + synopsis + ")");
        return std::nullopt;
    }
    return operands;
}

Capture CaptureRows(const std::string& address)
{
    Capture capture;
    CUrlFetcher fetcher;
    try {
        if (!fetcher.FetchPage(address)) {
            PrintError(fetcher.LastError());
            capture.status = kCannotOpen;
            return capture;
        }
    } catch (const CException& failure) {
        PrintError(failure.what());
        capture.status = kTransferFailed;
        return capture;
    }
    html::SwfLinkSet links;
    html::FindSwfLinks(links, address, fetcher.m_pPageBuffer.get());
    // The window inserts each address of the set at the top of its list: greatest first.
    capture.rows.assign(links.rbegin(), links.rend());
    return capture;
}

} // namespace cli
