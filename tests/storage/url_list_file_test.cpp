#include "storage/url_list_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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

TEST_F(UrlListFileTest, AwkwardEntriesComeBackExactly) {
    const List entries{" blank around ",
                       "",
                       "eos",
                       "EOS ",
                       std::string(5000, 'u'),
                       "http://h/\xe9\xff\x80?q=1&r=2",
                       "tab\there"};
    const std::string email = std::string(300, 'm') + "@example.com";
    ASSERT_TRUE(SaveUrlList(file_, entries, email));
    List list;
    std::string loadedEmail;
    LoadUrlList(file_, list, loadedEmail);
    EXPECT_EQ(list, entries);
    EXPECT_EQ(loadedEmail, email);
}

TEST_F(UrlListFileTest, FailedSaveLeavesTheOldListWhole) {
    ASSERT_TRUE(SaveUrlList(file_, {"old"}, "old@x"));
    const std::string before = ReadFileBytes(file_);
    // A directory that refuses new files stands for a full or read-only disk.
    ::chmod(file_.parent_path().c_str(), 0500);
    const bool saved = SaveUrlList(file_, {"new"}, "new@x");
    ::chmod(file_.parent_path().c_str(), 0700);
    if (::geteuid() != 0) {
        EXPECT_FALSE(saved);
    }
    if (!saved) {
        EXPECT_EQ(ReadFileBytes(file_), before);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(file_.parent_path()),
                                std::filesystem::directory_iterator()),
                  1)
            << "no temporary file is left behind";
    }
}

TEST_F(UrlListFileTest, SaveThatCannotReplaceTheFileKeepsItAndCleansUp) {
    // The target is a non-empty directory: the rename fails after the content was written.
    std::filesystem::create_directories(file_ / "occupied");
    EXPECT_FALSE(SaveUrlList(file_, {"new"}, "new@x"));
    EXPECT_TRUE(std::filesystem::is_directory(file_ / "occupied"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(file_.parent_path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(UrlListFileTest, UnreadableFileExistsAndLoadsEmpty) {
    std::filesystem::create_directories(file_);  // present, but no file to read
    EXPECT_TRUE(FileExists(file_));
    List list;
    std::string email;
    LoadUrlList(file_, list, email);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(email, "");
}

}  // namespace
}  // namespace quaymark
