// The archive's address as the user names it, and which addresses lie below it: those are fetched accepting
// compressed answers, so a look-alike host or path must never count as the archive's.
#include "wayback/ArchiveSetting.h"
#include "wayback/RawCapture.h"

#include <gtest/gtest.h>

namespace {

TEST(ArchiveAddresses, TheArchiveIsAnHttpAddressWithAHostOrOff)
{
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"off", ""},
        {"https://web.archive.org/", "https://web.archive.org"},
        {"HTTP://127.0.0.1:8080//", "HTTP://127.0.0.1:8080"},
        {"https://example.org/wayback", "https://example.org/wayback"},
        {"web.archive.org", std::nullopt},
        {"ftp://web.archive.org", std::nullopt},
        {"https://", std::nullopt},
        {"https:///web", std::nullopt},
        {"https://web.archive.org/?x=1", std::nullopt},
        {"https://web archive.org", std::nullopt},
        {"Off", std::nullopt},
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(wayback::ReadArchiveOption(value), expected) << value;
}

TEST(ArchiveAddresses, OnlyTheArchivesOwnAddressesLieBelowIt)
{
    const std::string archive = "https://web.archive.org";
    for (const char* below : {"https://web.archive.org", "https://WEB.Archive.org/web/2008id_/http://a/b.swf",
                              "HTTPS://web.archive.org/cdx/search/cdx?url=a", "https://web.archive.org?x"})
        EXPECT_TRUE(wayback::IsBelowArchive(archive, below)) << below;
    for (const char* elsewhere : {"https://web.archive.org.example/web/", "https://web.archive.orgx",
                                  "http://web.archive.org/", "https://example.org/https://web.archive.org/", ""})
        EXPECT_FALSE(wayback::IsBelowArchive(archive, elsewhere)) << elsewhere;
    EXPECT_FALSE(wayback::IsBelowArchive("", "https://web.archive.org/"));
    // Below a path, the path counts as it is written.
    EXPECT_TRUE(wayback::IsBelowArchive("http://h/wayback", "http://H/wayback/web/1id_/x"));
    EXPECT_FALSE(wayback::IsBelowArchive("http://h/wayback", "http://h/wayback2/web/1id_/x"));
    EXPECT_FALSE(wayback::IsBelowArchive("http://h/wayback", "http://h/Wayback/web/1id_/x"));
}

TEST(ArchiveAddresses, ARawCaptureNamesItsTimeAndOriginal)
{
    const std::string archive = "http://127.0.0.1:9";
    const std::string original =
        "http://www.archive.org/audio/xspf_player.swf?playlist_url=http%3A%2F%2Fx&autoload=true";
    const std::string raw = wayback::RawCaptureAddress(archive, "20080430204937", original);
    EXPECT_EQ(raw, archive + "/web/20080430204937id_/" + original);
    const auto read = wayback::ReadRawCaptureAddress(archive, raw);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->timestamp, "20080430204937");
    EXPECT_EQ(read->original, original);
    for (const std::string& other : {archive + "/web/20080430204937/" + original, archive + "/web/id_/" + original,
                                     archive + "/web/200804302049371id_/" + original, archive + "/web/2008id_/",
                                     "http://127.0.0.2:9/web/2008id_/" + original})
        EXPECT_FALSE(wayback::ReadRawCaptureAddress(archive, other)) << other;
}

} // namespace
