#pragma once
// One row of the local movie list and the interface of whatever list the cache walk fills.
#include <cstddef>
#include <string>

namespace cache {

// The three column texts of a listed movie; the row carries nothing else.
struct LocalMovieRow {
    std::string name; // "File Name": the file's name without any folder part
    std::string size; // "File Size": its length in bytes as a plain decimal number
    std::string path; // "File Path": its folder's path, "/", its name

    friend bool operator==(const LocalMovieRow&, const LocalMovieRow&) = default;
};

// A list that takes rows by position, as a list view does: inserting at `index` puts the row
// there and moves the row that stood there, and all below it, one place down. An index past the
// end appends.
class MovieRowSink {
public:
    virtual ~MovieRowSink() = default;
    virtual void InsertRow(std::size_t index, LocalMovieRow row) = 0;
};

} // namespace cache
