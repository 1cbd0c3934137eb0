#pragma once
// What a stored-response format is to the rest of the program: how its folders and files are told, how one
// of its entries is read, and (through the body it gives) how the stored bytes are checked. Formats differ
// in layout, and each layout is one interface here:
//   EntryFilesFormat       every file of its folder that it names is one entry (Firefox cache2, Chromium's
//                          Simple Cache): a row's path is the entry file's path;
//   ContainerFolderFormat  one folder's shared files hold many entries (Chromium's block files, Firefox's first
//                          cache, Chromium's SQLite cache): a row's path is "<folder><record file>/<locator>",
//                          the record file being the file below the folder that holds the entry's record;
//   ContainerFileFormat    each file of its kind holds many records, wherever it lies (WARC and ARC files): a
//                          row's path is "<container file>/<locator>";
//   AddressIndexFormat     an index that gives addresses to the plain movie files of its folder (Internet
//                          Explorer's index.dat).
// A regular file has no children, so no real file has a path "<regular file>/<locator>": record paths and file
// paths can never be taken for one another. Each format is one file in this folder and one row of the table
// (Formats.h); the walk, the rows and the copy know a format only through these interfaces.
#include "cache/formats/Refusal.h"
#include "cache/formats/StoredResponse.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace cache {

class StoredFormat {
public:
    // The format's name as a user reads it: "Firefox cache2".
    virtual std::string_view Name() const = 0;

protected:
    ~StoredFormat() = default;
};

// The folder the walk is in, as a format told by its folder sees it.
struct FolderFacts {
    std::string_view path;       // ends in "/"
    std::string_view parentPath; // ends in "/"; empty when the path has no parent
    std::string_view name;       // the folder's own name
    std::uint32_t marks = 0;     // this format's FileMark bits of every regular file in the folder, or-ed
};

struct FolderVerdict {
    enum class Kind {
        NotMine,
        Read,
        NotRead, // the format's, in a version or form that is not read: reported, not passed over
    } kind = Kind::NotMine;
    std::string_view reason; // for NotRead: why, in a few words ("an index of version 9")
};

// A format told by its folder: the folder's names and the marks its files' names set.
class FolderFormat : public StoredFormat {
public:
    // The bits a regular file named `name` sets in its folder's marks; 0 for names that do not matter. The
    // walk asks this for every file it sees: a few comparisons at most.
    virtual std::uint32_t FileMark(std::string_view name) const = 0;
    // Whether the folder is one of this format's, from its names alone (the walk reads no file).
    virtual FolderVerdict Recognise(const FolderFacts& folder) const = 0;

protected:
    ~FolderFormat() = default;
};

class EntryFilesFormat : public FolderFormat {
public:
    // Whether a file of one of its folders named `name` is an entry.
    virtual bool IsEntryName(std::string_view name) const = 0;
    // Whether the regular file at `path` is one of its entry files, told from the path's names alone.
    virtual bool IsEntryPath(std::string_view path) const = 0;
    // Finds and reads the entry in `file`. The response's body reads from `file`, which must outlive it.
    virtual Refusable<StoredResponse> ReadEntry(const EntryBytes& file) const = 0;

protected:
    ~EntryFilesFormat() = default;
};

// What a container's reader hands on as it reads, record by record.
class RecordSink {
public:
    // A response: `locator` names it inside its container, `written` says when it was stored (nanoseconds
    // since 1970). Its body can be read during the call only. Returns false to end the reading.
    virtual bool Response(std::string_view locator, StoredResponse& response, std::int64_t written) = 0;
    // A record refused, and why.
    virtual void Refused(std::string_view locator, Refusal why) = 0;
    // The container as a whole is not read, and why (a version this reader does not know, ...).
    virtual void NotRead(std::string_view reason) = 0;

protected:
    ~RecordSink() = default;
};

class ContainerFolderFormat : public FolderFormat {
public:
    // Whether the regular file at `path` is one its records lie in (a block file, a database), told from the
    // path's names alone.
    virtual bool IsRecordFilePath(std::string_view path) const = 0;
    // Reads every record of the container folder `folder` (ending in "/"), until `stop` is set. The sink's
    // locators are "<record file>/<locator>", the record file's path taken below the folder.
    virtual void ReadRecords(const std::string& folder, const std::atomic<bool>& stop, RecordSink& sink) const = 0;
    // The record `locator` of the record file at `file`.
    virtual Refusable<OpenedResponse> OpenRecord(const std::string& file, std::string_view locator) const = 0;

protected:
    ~ContainerFolderFormat() = default;
};

class ContainerFileFormat : public StoredFormat {
public:
    // Whether a regular file named `name` is one of its containers.
    virtual bool IsContainerName(std::string_view name) const = 0;
    virtual void ReadRecords(const std::string& file, const std::atomic<bool>& stop, RecordSink& sink) const = 0;
    virtual Refusable<OpenedResponse> OpenRecord(const std::string& file, std::string_view locator) const = 0;

protected:
    ~ContainerFileFormat() = default;
};

// What an address index's reader hands on.
class AddressSink {
public:
    // The full path of a plain movie file that the index names, and the address it came from.
    virtual void Address(std::string path, std::string address) = 0;
    // The index as a whole is not read, and why (a version this reader does not know, damage).
    virtual void NotRead(std::string_view reason) = 0;

protected:
    ~AddressSink() = default;
};

class AddressIndexFormat : public FolderFormat {
public:
    // Hands on each plain movie file below the folder (ending in "/") that its index names, with its address.
    virtual void ReadAddresses(const std::string& folder, const std::atomic<bool>& stop, AddressSink& sink) const = 0;

protected:
    ~AddressIndexFormat() = default;
};

// One row of the table. Code that treats formats by layout visits it, so the compiler names every layout a
// new piece of code forgets.
using Format = std::variant<const EntryFilesFormat*, const ContainerFolderFormat*, const ContainerFileFormat*,
                            const AddressIndexFormat*>;

} // namespace cache
