// Preview locations as bytes: what counts as a movie or a local path, URLs that keep every byte,
// and a player page that quotes whatever address it is given.
#include "controls/PreviewLocation.h"
#include "controls/PlayerPage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

TEST(PreviewLocation, WhatNamesAMovie)
{
    const struct {
        std::string location;
        bool local, movie;
    } cases[] = {
        {"http://example.com/a/clip.swf", false, true},
        {"http://example.com/a/CLIP.SwF", false, true},
        {"https://example.com/clip.swf?v=2#top", false, true},
        {"http://example.com/clip.swf.html", false, false},
        {"http://example.com/page.php?file=clip.swf", false, false},
        {"http://example.com/", false, false},
        {"/home/u/.cache/x/clip.swf", true, true},
        {"/home/u/.cache/x/clip?.swf", true, true}, // a '?' in a file name is just a byte
        {"/home/u/notes.txt", true, false},
        {"/home/u/\xff\xfe.SWF", true, true},
        {"swf", false, false},
        {".swf", false, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(preview::IsLocalPath(c.location), c.local) << c.location;
        EXPECT_EQ(preview::NamesMovie(c.location), c.movie) << c.location;
    }
    EXPECT_EQ(preview::BaseName("/a/b/c d.swf"), "c d.swf");
    EXPECT_EQ(preview::BaseName("/top.swf"), "top.swf");
}

TEST(PreviewLocation, UrlKeepsEveryByte)
{
    for (const std::string& address :
         {std::string("http://127.0.0.1:8080/a b/\xe9t\xe9.swf"), std::string("http://host/\xff\x80%41.swf?q=\xc3\xa9"),
          std::string("https://host/plain/path.swf")}) {
        const QUrl url = preview::UrlFromBytes(address);
        ASSERT_TRUE(url.isValid()) << address;
        const QByteArray encoded = url.toEncoded();
        // Every byte of the wire form is printable ASCII, and decoding it gives the bytes back
        // (an existing "%41" stays an escape, as the address meant it).
        EXPECT_TRUE(std::all_of(encoded.begin(), encoded.end(), [](char c) { return c > 0x20 && c < 0x7f; }))
            << address;
        std::string expected = address;
        if (auto at = expected.find("%41"); at != std::string::npos)
            expected.replace(at, 3, "A");
        EXPECT_EQ(QByteArray::fromPercentEncoding(encoded).toStdString(), expected) << address;
    }
}

TEST(PlayerPage, QuotesTheMovieAddressAndItsBase)
{
    const QUrl ruffle(QStringLiteral("plumeroc://ruffle/"));
    for (const char* raw :
         {"http://host/clip.swf", "http://host/</script><script>alert(1)</script>.swf",
          "http://host/\"quoted\"'and'\\back.swf", "http://host/<!--x.swf", "http://host/@BASE@.swf"}) {
        const QUrl movie = QUrl::fromEncoded(QByteArray(raw), QUrl::TolerantMode);
        // The page's folder beside it, written the same way, with the other placeholder in it.
        const QUrl base = QUrl::fromEncoded(QByteArray(raw) + "/@MOVIE@/", QUrl::TolerantMode);
        const QString html = preview::PlayerPageHtml(movie, ruffle, base);
        ASSERT_FALSE(html.isEmpty());
        // No placeholder is left but inside the addresses' own quoted literals.
        QString outside = html;
        outside.remove(QRegularExpression(QStringLiteral("const (movie|base) = \".*\";")));
        EXPECT_FALSE(outside.contains(QStringLiteral("@MOVIE@")));
        EXPECT_FALSE(outside.contains(QStringLiteral("@BASE@")));
        EXPECT_FALSE(html.contains(QStringLiteral("@RUFFLE@")));
        EXPECT_TRUE(html.contains(QStringLiteral("src=\"plumeroc://ruffle/ruffle.js\"")));
        // Exactly one </script> per script element: the address cannot close one early.
        EXPECT_EQ(html.count(QStringLiteral("</script>")), html.count(QStringLiteral("<script")));
        // The quoted literal reads back as the address.
        const QRegularExpressionMatch literal =
            QRegularExpression(QStringLiteral("const movie = (\".*\");")).match(html);
        ASSERT_TRUE(literal.hasMatch()) << raw;
        const QJsonDocument parsed =
            QJsonDocument::fromJson((QLatin1Char('[') + literal.captured(1) + QLatin1Char(']')).toUtf8());
        ASSERT_TRUE(parsed.isArray()) << raw;
        EXPECT_EQ(parsed.array().at(0).toString(), movie.toString(QUrl::FullyEncoded)) << raw;
        const QRegularExpressionMatch baseLiteral =
            QRegularExpression(QStringLiteral("const base = (\".*\");")).match(html);
        ASSERT_TRUE(baseLiteral.hasMatch()) << raw;
        EXPECT_EQ(QJsonDocument::fromJson((QLatin1Char('[') + baseLiteral.captured(1) + QLatin1Char(']')).toUtf8())
                      .array()
                      .at(0)
                      .toString(),
                  base.toString(QUrl::FullyEncoded))
            << raw;
    }
    // Without a base the player resolves against the page's own address.
    EXPECT_TRUE(preview::PlayerPageHtml(QUrl(QStringLiteral("http://host/a.swf")), ruffle)
                    .contains(QStringLiteral("const base = null;")));
}

} // namespace
