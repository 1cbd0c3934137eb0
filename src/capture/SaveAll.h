#pragma once
// Saving listed movies: one movie into a file, and the loop of Save All over the rows of the list,
// which the window's Internet Files page and plumeroc-grab save-all both run.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace capture {

// What became of one movie.
struct MovieSave {
    enum class Result {
        kSaved,     // the whole answer is in the file, whatever its status
        kNoName,    // no file name after the address's last "/": nothing fetched, nothing written
        kNotOpened, // the address or the file could not be opened: no file touched
        kBrokeOff,  // the transfer or a write failed in the middle: the file keeps what was written
    };

    std::string address;
    std::string path; // the file; empty for kNoName
    Result result = Result::kSaved;
    long status = 0;   // the HTTP status of the answer, 0 when none arrived
    std::string error; // why, for every result but kSaved
};

// Downloads the movie at `address` into `path`, created or truncated once the answer has arrived. A
// failure in the middle is told in the result, not thrown.
MovieSave SaveMovie(const std::string& address, const std::string& path);

// What Save All does when a transfer breaks off.
enum class AfterBreak {
    kStop, // the failure is thrown (CInternetException, CFileException): the rows below stay unsaved
    kGoOn, // it is told like any other row, and the next row follows
};

// Save All: each address in turn, the list's top row first, into `folder` under the name
// SaveAllDestination gives it, so that a lower row's movie replaces an upper one's of the same name.
// `saved`, when given, is told of every row once it is done, the rows without a name included.
void SaveAll(const std::vector<std::string>& addresses, std::string_view folder, AfterBreak afterBreak,
             const std::function<void(const MovieSave&)>& saved = {});

} // namespace capture
