#include "engine/channel/error_pages.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/classic/classify.h"
#include "tests/support/temp_dir.h"

namespace quaymark {
namespace {

using testing::ReadFileBytes;

TEST(ErrorPages, NamesAndSweepRule) {
    EXPECT_EQ(ErrorPageName(0), "submiterror0.html");
    EXPECT_EQ(ErrorPageName(10), "submiterror10.html");
    EXPECT_TRUE(IsSweptErrorPageName("submiterror12.html"));
    EXPECT_TRUE(IsSweptErrorPageName("old-submiterror.HtMl"));
    EXPECT_FALSE(IsSweptErrorPageName("SUBMITERROR1.html"));
    EXPECT_FALSE(IsSweptErrorPageName("submiterror1.htm"));
    EXPECT_FALSE(IsSweptErrorPageName("submiterror1.html.bak"));
    EXPECT_FALSE(IsSweptErrorPageName(".html"));
}

class WriteErrorPageTest : public ::testing::Test {
protected:
    testing::ScopedWorkingDir dir_;
    std::int32_t ErrorPageCounter = 0;
};

TEST_F(WriteErrorPageTest, FetchedLinesGainAnEmptyLineAllInCrLf) {
    WriteErrorPage(dir_.path(), ErrorPageCounter, {"one\n", "two\n", "three\n"});
    EXPECT_EQ(ReadFileBytes("submiterror0.html"), "one\r\n\r\ntwo\r\n\r\nthree\r\n\r\n");
    EXPECT_EQ(ErrorPageCounter, 1);
}

TEST_F(WriteErrorPageTest, ConnectionProblemPageHasItsEightLines) {
    PageLines lines;
    ClassifyPage(lines);
    WriteErrorPage(dir_.path(), ErrorPageCounter, lines);
    std::string expected;
    for (const std::string& line : ConnectionProblemPage()) {
        expected += line + "\r\n";
    }
    EXPECT_EQ(ReadFileBytes("submiterror0.html"), expected);
}

TEST_F(WriteErrorPageTest, NumbersRunOnAndOverwriteOldPages) {
    testing::WriteFileBytes("submiterror1.html", "stale content that is much longer");
    for (int i = 0; i < 11; ++i) {
        WriteErrorPage(dir_.path(), ErrorPageCounter, {"page " + std::to_string(i) + "\n"});
    }
    EXPECT_EQ(ReadFileBytes("submiterror1.html"), "page 1\r\n\r\n");
    EXPECT_EQ(ReadFileBytes("submiterror10.html"), "page 10\r\n\r\n");
}

TEST_F(WriteErrorPageTest, PagesGoToTheirDirectoryAndReplaceALinkWithoutFollowingIt) {
    testing::TempDir pages;
    testing::WriteFileBytes("victim.txt", "the user's own");
    std::filesystem::create_symlink(dir_.path() / "victim.txt", pages.path() / "submiterror0.html");
    WriteErrorPage(pages.path(), ErrorPageCounter, {"page\n"});
    EXPECT_EQ(ReadFileBytes("victim.txt"), "the user's own");
    EXPECT_FALSE(std::filesystem::is_symlink(pages.path() / "submiterror0.html"));
    EXPECT_EQ(ReadFileBytes(pages.path() / "submiterror0.html"), "page\r\n\r\n");
    EXPECT_FALSE(std::filesystem::exists("submiterror0.html"))
        << "nothing in the working directory";
}

TEST_F(WriteErrorPageTest, UnwritablePageStillUsesUpItsNumber) {
    std::filesystem::create_directory("submiterror0.html");
    WriteErrorPage(dir_.path(), ErrorPageCounter, {"lost\n"});
    WriteErrorPage(dir_.path(), ErrorPageCounter, {"kept\n"});
    EXPECT_EQ(ErrorPageCounter, 2);
    EXPECT_EQ(ReadFileBytes("submiterror1.html"), "kept\r\n\r\n");
}

}  // namespace
}  // namespace quaymark
