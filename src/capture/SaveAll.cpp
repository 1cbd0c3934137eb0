#include "capture/SaveAll.h"

#include "capture/SaveAllNaming.h"
#include "capture/UrlFetcher.h"
#include "platform/Exceptions.h"

namespace capture {

namespace {

MovieSave Download(const std::string& address, const std::string& path, AfterBreak afterBreak)
{
    MovieSave save{address, path};
    CUrlFetcher fetcher;
    try {
        if (!fetcher.DownloadToFile(address, path)) {
            save.result = MovieSave::Result::kNotOpened;
            save.error = fetcher.LastError();
        }
    } catch (const CException& failure) {
        if (afterBreak == AfterBreak::kStop)
            throw;
        save.result = MovieSave::Result::kBrokeOff;
        save.error = failure.what();
    }
    save.status = fetcher.LastStatus();
    return save;
}

} // namespace

MovieSave SaveMovie(const std::string& address, const std::string& path)
{
    return Download(address, path, AfterBreak::kGoOn);
}

void SaveAll(const std::vector<std::string>& addresses, std::string_view folder, AfterBreak afterBreak,
             const std::function<void(const MovieSave&)>& saved)
{
    for (const std::string& address : addresses) {
        const auto destination = SaveAllDestination(folder, address);
        const MovieSave save = destination
            ? Download(address, *destination, afterBreak)
            : MovieSave{
                address, {}, MovieSave::Result::kNoName, 0, "the name after its last \"/\" is empty, \".\" or \"..\""};
        if (saved)
            saved(save);
    }
}

} // namespace capture
