#include "storage/url_list_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "tests/support/temp_dir.h"

namespace quaymark {
namespace {

using testing::ReadFileBytes;
using testing::WriteFileBytes;
using List = std::vector<std::string>;

class UrlListFileTest : public ::testing::Test {
protected:
    testing::TempDir dir_;
    std::filesystem::path file_ = dir_.path() / "quaymark" / "quaysites.dat";

    struct Loaded {
        List list;
        std::string email;
    };
    Loaded LoadBytes(const std::string& bytes) {
        std::filesystem::create_directories(file_.parent_path());
        WriteFileBytes(file_, bytes);
        Loaded loaded;
        LoadUrlList(file_, loaded.list, loaded.email);
        return loaded;
    }
};

TEST_F(UrlListFileTest, SavesTheExactFormat) {
    ASSERT_TRUE(SaveUrlList(file_, {}, ""));
    EXPECT_EQ(ReadFileBytes(file_), "EOS\r\n\r\n");
    ASSERT_TRUE(SaveUrlList(file_, {"A", "B"}, "E"));
    EXPECT_EQ(ReadFileBytes(file_), "A\r\nB\r\nEOS\r\nE\r\n");
}

TEST_F(UrlListFileTest, MissingFileAndDirectory) {
    EXPECT_FALSE(FileExists(file_));
    List list;
    std::string email = "left over";
    LoadUrlList(file_, list, email);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(email, "");
    EXPECT_FALSE(std::filesystem::exists(file_.parent_path())) << "loading creates nothing";
}

TEST_F(UrlListFileTest, EndMarkerMustBeTheWholeLine) {
    const Loaded loaded = LoadBytes("eos\r\nEOS \r\n\r\nEOS\r\nme@example.com\r\nignored\r\n");
    EXPECT_EQ(loaded.list, (List{"eos", "EOS ", ""}));
    EXPECT_EQ(loaded.email, "me@example.com");
}

TEST_F(UrlListFileTest, FilesThatEndEarly) {
    Loaded noMarker = LoadBytes("a\r\nb\r\n");
    EXPECT_EQ(noMarker.list, (List{"a", "b"}));
    EXPECT_EQ(noMarker.email, "");

    Loaded noEmailLine = LoadBytes("a\r\nEOS\r\n");
    EXPECT_EQ(noEmailLine.list, List{"a"});
    EXPECT_EQ(noEmailLine.email, "");

    Loaded empty = LoadBytes("");
    EXPECT_TRUE(empty.list.empty());
    EXPECT_EQ(empty.email, "");

    Loaded noLastBreak = LoadBytes("a\nb");
    EXPECT_EQ(noLastBreak.list, (List{"a", "b"}));
    Loaded emailWithoutBreak = LoadBytes("a\nEOS\nme@x");
    EXPECT_EQ(emailWithoutBreak.email, "me@x");
}

TEST_F(UrlListFileTest, BareLineFeedsReadLikeCrLfAndSaveBackAsCrLf) {
    const Loaded lf = LoadBytes("http://a/\nhttp://b/\nEOS\nme@x\n");
    const Loaded crlf = LoadBytes("http://a/\r\nhttp://b/\r\nEOS\r\nme@x\r\n");
    EXPECT_EQ(lf.list, crlf.list);
    EXPECT_EQ(lf.email, crlf.email);
    ASSERT_TRUE(SaveUrlList(file_, lf.list, lf.email));
    EXPECT_EQ(ReadFileBytes(file_), "http://a/\r\nhttp://b/\r\nEOS\r\nme@x\r\n");
}

TEST_F(UrlListFileTest, AnyBytesButLineBreaksComeBackByteForByte) {
    const std::string stored = std::string(" blank around \r\n\r\neos\r\nEOS \r\n") +
                               std::string(5000, 'u') + "\r\nhttp://h/\xe9\xff\x80?q=1&r=2\r\n" +
                               std::string("nul\0inside\ttab", 14) + "\r\nEOS\r\n" +
                               std::string(300, 'm') + "@caf\xe9.example\r\n";
    const Loaded loaded = LoadBytes(stored);
    EXPECT_EQ(loaded.list.size(), 7u);
    EXPECT_EQ(loaded.list[5], "http://h/\xe9\xff\x80?q=1&r=2");
    ASSERT_TRUE(SaveUrlList(file_, loaded.list, loaded.email));
    EXPECT_EQ(ReadFileBytes(file_), stored);
}

// Failures that no permission bits cause, so that they fail for root as for anybody.
TEST_F(UrlListFileTest, FailedSaveSaysWhyAndLeavesTheOldListWhole) {
    ASSERT_TRUE(SaveUrlList(file_, {"old"}, "old@x"));
    const std::string before = ReadFileBytes(file_);
    const auto failingWrite = [](int, const void*, std::size_t) -> ssize_t {
        errno = ENOSPC;
        return -1;
    };
    const FileResult full = SaveUrlList(file_, {"new"}, "new@x", failingWrite);
    EXPECT_EQ(full.error, std::errc::no_space_on_device);
    EXPECT_EQ(full.Reason(), "No space left on device");
    EXPECT_EQ(ReadFileBytes(file_), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(file_.parent_path()),
                            std::filesystem::directory_iterator()),
              1)
        << "no temporary file is left behind";

    const std::filesystem::path underAFile = file_ / "quaysites.dat";
    EXPECT_EQ(SaveUrlList(underAFile, {"new"}, "").error, std::errc::not_a_directory);
    EXPECT_EQ(ReadFileBytes(file_), before);

    // The target is a non-empty directory: the rename fails after the content was written.
    const std::filesystem::path occupied = dir_.path() / "occupied.dat";
    std::filesystem::create_directories(occupied / "inside");
    EXPECT_FALSE(SaveUrlList(occupied, {"new"}, "new@x"));
    EXPECT_TRUE(std::filesystem::is_directory(occupied / "inside"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()),
                            std::filesystem::directory_iterator()),
              2);
}

TEST_F(UrlListFileTest, SaveKeepsTheModeAndWritesThroughALink) {
    ASSERT_TRUE(SaveUrlList(file_, {"a"}, "me@x"));
    struct stat info {};
    ASSERT_EQ(::stat(file_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u) << "a new list file is the user's alone";

    ::chmod(file_.c_str(), 0640);
    ASSERT_TRUE(SaveUrlList(file_, {"b"}, "me@x"));
    ASSERT_EQ(::stat(file_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);

    const std::filesystem::path link = dir_.path() / "link.dat";
    std::filesystem::create_symlink(std::filesystem::relative(file_, dir_.path()), link);
    ASSERT_TRUE(SaveUrlList(link, {"c"}, "me@x"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFileBytes(file_), "c\r\nEOS\r\nme@x\r\n");
    ASSERT_EQ(::stat(file_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(UrlListFileTest, FileThatCannotBeReadSaysWhyAndNeverBlocks) {
    std::filesystem::create_directories(file_);  // present, but no file to read
    EXPECT_TRUE(FileExists(file_));
    List list;
    std::string email = "left over";
    const FileResult directory = LoadUrlList(file_, list, email);
    EXPECT_EQ(directory.error, std::errc::is_a_directory);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(email, "");

    const std::filesystem::path fifo = dir_.path() / "fifo.dat";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_TRUE(FileExists(fifo));
    const FileResult pipe = LoadUrlList(fifo, list, email);
    EXPECT_FALSE(pipe);
    EXPECT_FALSE(pipe.Missing());
    EXPECT_EQ(pipe.Reason(), "Not a regular file");

    EXPECT_TRUE(LoadUrlList(dir_.path() / "none.dat", list, email).Missing());
}

}  // namespace
}  // namespace quaymark
