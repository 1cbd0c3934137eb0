#include "cache/MovieCopy.h"
#include "platform/Exceptions.h"
#include "support/Files.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>

namespace {

using cache::CopyMovieFile;
using cache::CopyOutcome;
using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

std::string RandomBytes(std::size_t size)
{
    std::mt19937 random(static_cast<unsigned>(size));
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

bool Exists(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

TEST(MovieCopy, CopiesEveryByteWhateverTheLength)
{
    for (std::size_t size : {0u, 1u, 4095u, 4096u, 4097u, 10000u, 3u * 4096u, 100'000u}) {
        SCOPED_TRACE(size);
        TempFolder temp;
        const std::string bytes = RandomBytes(size);
        WriteFile(temp / "a.swf", bytes);
        ASSERT_EQ(CopyMovieFile(temp / "a.swf", temp / "b.swf"), CopyOutcome::Copied);
        EXPECT_EQ(ReadFile(temp / "b.swf"), bytes);
        EXPECT_EQ(ReadFile(temp / "a.swf"), bytes);
    }
}

TEST(MovieCopy, ReplacesAnExistingDestination)
{
    for (std::size_t oldSize : {0u, 5u, 20000u}) {
        SCOPED_TRACE(oldSize);
        TempFolder temp;
        WriteFile(temp / "a.swf", "new content");
        WriteFile(temp / "b.swf", std::string(oldSize, 'o'));
        ASSERT_EQ(CopyMovieFile(temp / "a.swf", temp / "b.swf"), CopyOutcome::Copied);
        EXPECT_EQ(ReadFile(temp / "b.swf"), "new content");
    }
}

TEST(MovieCopy, NeverCopiesAFileOntoItself)
{
    const struct {
        const char* title;
        const char* source;
        const char* destination;
        void (*prepare)(const TempFolder&);
    } cases[] = {
        {"same path", "m.swf", "m.swf", nullptr},
        {"\"./\" spelling", "m.swf", "./m.swf", nullptr},
        {"through a folder and back", "m.swf", "sub/../m.swf",
         [](const TempFolder& t) { std::filesystem::create_directories(t / "sub"); }},
        {"hard link", "m.swf", "hard.swf",
         [](const TempFolder& t) { std::filesystem::create_hard_link(t / "m.swf", t / "hard.swf"); }},
        {"symbolic link as destination", "m.swf", "soft.swf",
         [](const TempFolder& t) { std::filesystem::create_symlink("m.swf", t / "soft.swf"); }},
        {"symbolic link as source", "soft.swf", "m.swf",
         [](const TempFolder& t) { std::filesystem::create_symlink("m.swf", t / "soft.swf"); }},
        {"link to the folder", "m.swf", "dirlink/m.swf",
         [](const TempFolder& t) { std::filesystem::create_directory_symlink(".", t / "dirlink"); }},
    };
    const std::string bytes = RandomBytes(10000);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        TempFolder temp;
        WriteFile(temp / "m.swf", bytes);
        if (c.prepare)
            c.prepare(temp);
        // Relative spellings are resolved against the folder, as the user's dialog would give them.
        const std::string destination = temp.Path() + "/" + c.destination;
        EXPECT_EQ(CopyMovieFile(temp / c.source, destination), CopyOutcome::DestinationCannotCreate);
        EXPECT_EQ(ReadFile(temp / "m.swf"), bytes);
    }
}

TEST(MovieCopy, SourceThatCannotBeOpenedCreatesNothing)
{
    TempFolder temp;
    WriteFile(temp / "gone.swf", "x");
    std::filesystem::remove(temp / "gone.swf"); // vanished since it was listed
    std::filesystem::create_directories(temp / "folder.swf");
    ASSERT_EQ(::mkfifo((temp / "pipe.swf").c_str(), 0600), 0); // no writer: must not block
    for (const char* source : {"gone.swf", "folder.swf", "missing/m.swf", "pipe.swf"}) {
        SCOPED_TRACE(source);
        EXPECT_EQ(CopyMovieFile(temp / source, temp / "out.swf"), CopyOutcome::SourceCannotOpen);
        EXPECT_FALSE(Exists(temp / "out.swf"));
    }
    // An existing destination is not touched either.
    WriteFile(temp / "keep.swf", "keep");
    EXPECT_EQ(CopyMovieFile(temp / "gone.swf", temp / "keep.swf"), CopyOutcome::SourceCannotOpen);
    EXPECT_EQ(ReadFile(temp / "keep.swf"), "keep");
}

TEST(MovieCopy, DestinationThatCannotBeCreatedLeavesTheSourceAlone)
{
    TempFolder temp;
    WriteFile(temp / "m.swf", "movie");
    WriteFile(temp / "plain", "file");
    std::filesystem::create_directories(temp / "existing.swf");
    ASSERT_EQ(::mkfifo((temp / "pipe.swf").c_str(), 0600), 0); // no reader: must not block
    for (const char* destination : {"missing/out.swf", "plain/out.swf", "existing.swf", "pipe.swf", ""}) {
        SCOPED_TRACE(destination);
        const std::string path = *destination ? temp / destination : std::string();
        EXPECT_EQ(CopyMovieFile(temp / "m.swf", path), CopyOutcome::DestinationCannotCreate);
        EXPECT_EQ(ReadFile(temp / "m.swf"), "movie");
    }
    EXPECT_FALSE(Exists(temp / "missing"));
}

TEST(MovieCopy, LongDestinationPathsWork)
{
    TempFolder temp;
    WriteFile(temp / "m.swf", "movie");
    std::string folder = temp.Path();
    for (int i = 0; i < 12; ++i)
        folder += "/" + std::string(60, static_cast<char>('a' + i));
    std::filesystem::create_directories(folder);
    const std::string destination = folder + "/" + std::string(200, 'n') + ".swf";
    ASSERT_GT(destination.size(), 900u);
    EXPECT_EQ(CopyMovieFile(temp / "m.swf", destination), CopyOutcome::Copied);
    EXPECT_EQ(ReadFile(destination), "movie");
}

TEST(MovieCopy, NewDestinationGetsReadWriteLessTheUmask)
{
    for (mode_t mask : {mode_t{022}, mode_t{077}, mode_t{0}}) {
        SCOPED_TRACE(mask);
        TempFolder temp;
        WriteFile(temp / "m.swf", "movie");
        const mode_t old = ::umask(mask);
        const CopyOutcome outcome = CopyMovieFile(temp / "m.swf", temp / "out.swf");
        ::umask(old);
        ASSERT_EQ(outcome, CopyOutcome::Copied);
        struct stat info {};
        ASSERT_EQ(::stat((temp / "out.swf").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
    }
}

TEST(MovieCopy, WriteFailureInTheMiddleThrowsNamingCauseAndFile)
{
    if (!Exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    TempFolder temp;
    WriteFile(temp / "m.swf", RandomBytes(10000));
    try {
        CopyMovieFile(temp / "m.swf", "/dev/full");
        ADD_FAILURE() << "no exception";
    } catch (const CFileException& error) {
        const std::string text = error.what();
        EXPECT_NE(text.find("/dev/full"), std::string::npos) << text;
        EXPECT_NE(text.find("No space left on device"), std::string::npos) << text;
    }
    EXPECT_EQ(ReadFile(temp / "m.swf").size(), 10000u);
}

} // namespace
