// The paths of rows of Firefox first-cache entries: "<cache folder>/<file holding the record>/@<block>".
// Paths come back from the list and from the command line, so what is not such a path must not open anything.
#include "cache/formats/FirefoxCache1.h"

#include <gtest/gtest.h>

namespace {

using cache::Cache1RowPath;
using cache::ParseCache1RowPath;

bool operator==(const Cache1RowPath& a, const Cache1RowPath& b)
{
    return a.folder == b.folder && a.container == b.container && a.block == b.block;
}

TEST(Cache1RowPath, NamesTheRecordsFileAndBlock)
{
    const std::pair<const char*, Cache1RowPath> rows[] = {
        {"/home/u/.mozilla/firefox/x.default/Cache/_CACHE_001_/@17",
         {"/home/u/.mozilla/firefox/x.default/Cache/", "_CACHE_001_", 17}},
        {"/mnt/Cache/_CACHE_003_/@0", {"/mnt/Cache/", "_CACHE_003_", 0}},
        {"/mnt/Cache/9/36/DD708m01/@0", {"/mnt/Cache/", "9/36/DD708m01", 0}}, // 1.19's subfolders
        {"/mnt/Cache/0936DD70m02/@0", {"/mnt/Cache/", "0936DD70m02", 0}},     // earlier versions, flat
        {"_CACHE_002_/@4294967295", {"", "_CACHE_002_", 4294967295u}},
    };
    for (const auto& [path, expected] : rows) {
        const auto parsed = ParseCache1RowPath(path);
        ASSERT_TRUE(parsed) << path;
        EXPECT_TRUE(*parsed == expected) << path;
    }
}

TEST(Cache1RowPath, RefusesWhatNoRowIsCalled)
{
    for (const char* path : {
             "/mnt/Cache/_CACHE_001_",      // the file itself
             "/mnt/Cache/_CACHE_001_/@",    // no block
             "/mnt/Cache/_CACHE_001_/@017", // not as a row writes it
             "/mnt/Cache/_CACHE_001_/@-1",
             "/mnt/Cache/_CACHE_001_/@4294967296", // past any block number
             "/mnt/Cache/_CACHE_001_/17",
             "/mnt/Cache/_CACHE_004_/@1",   // no such block file
             "/mnt/Cache/_CACHE_MAP_/@0",   // the map holds no record
             "/mnt/Cache/9/36/DD708m01/@1", // a separate record starts at its beginning only
             "/mnt/Cache/9/36/DD708d01/@0", // a body, not a record
             "/mnt/Cache/9/36/dd708m01/@0", // the browser writes its hexadecimal digits in upper case
             "/mnt/Cache/X9/36/DD708m01/@0x",
         }) {
        EXPECT_FALSE(ParseCache1RowPath(path)) << path;
    }
}

} // namespace
