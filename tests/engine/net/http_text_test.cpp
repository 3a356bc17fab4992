#include "engine/net/http_text.h"

#include <gtest/gtest.h>

namespace quaymark {
namespace {

TEST(WireUrl, EncodesWhatCannotStandInARequestTarget) {
    EXPECT_EQ(WireUrl("http://h/p?a=b c&d=\x01\x7f\x80\xff"), "http://h/p?a=b%20c&d=%01%7F%80%FF");
    EXPECT_EQ(WireUrl("http://h/p?url=http://x/&y=%2F+z"), "http://h/p?url=http://x/&y=%2F+z");
    EXPECT_EQ(WireUrl("http://h/p?u=a\r\nX-Injected: 1"), "http://h/p?u=a%0D%0AX-Injected:%201");
}

TEST(WireUrl, NumberSignTravelsEncodedWithTheRestOfTheRequest) {
    EXPECT_EQ(WireUrl("http://h/p?url=http://a/#b c&email=e"),
              "http://h/p?url=http://a/%23b%20c&email=e");
}

TEST(FindLocation, TakesTheHeaderNamedLocationInAnyCase) {
    EXPECT_EQ(FindLocation("HTTP/1.0 302 Found\r\nLocation: http://a/b\r\n\r\n"), "http://a/b");
    EXPECT_EQ(FindLocation("HTTP/1.0 302 Found\r\nlocation:\thttp://a/b c\r\n"), "http://a/b c");
    EXPECT_EQ(FindLocation("HTTP/1.0 302 Found\r\nLOCATION:http://a/\r\n"), "http://a/");
    EXPECT_EQ(FindLocation("HTTP/1.0 302 Found\nLocation: http://bare-lf/\n"), "http://bare-lf/");
}

TEST(FindLocation, LookAlikesAreNotTheRedirect) {
    EXPECT_EQ(FindLocation("HTTP/1.0 302 Found\r\nContent-Location: http://wrong/\r\n"
                           "X-Location: http://wrong/\r\nLocations: http://wrong/\r\n"
                           "Location: http://right/\r\n"),
              "http://right/");
    EXPECT_EQ(FindLocation("HTTP/1.0 302 Found\r\nContent-Location: http://wrong/\r\n\r\n"),
              std::nullopt);
    EXPECT_EQ(FindLocation(""), std::nullopt);
    EXPECT_EQ(FindLocation("Location: \r\n"), "");
}

TEST(FindLocation, BlanksAndStrayCarriageReturnsAroundTheValueAreNotTheAddress) {
    EXPECT_EQ(FindLocation("HTTP/1.0 302 Found\r\nLocation: http://a/b \t\r\n"), "http://a/b");
    EXPECT_EQ(FindLocation("HTTP/1.0 302 Found\r\nLocation: http://a/b\r\r\r\n"), "http://a/b");
    EXPECT_EQ(FindLocation("Location: http://a/\rX-Injected: 1\r\n"), "http://a/\rX-Injected: 1")
        << "a CR inside the value stays, and goes on the wire encoded";
}

PageLines Split(std::initializer_list<std::string_view> chunks, bool finish = true) {
    PageLines lines;
    LineSplitter splitter(lines);
    for (const std::string_view chunk : chunks) {
        splitter.Feed(chunk);
    }
    if (finish) {
        splitter.Finish();
    }
    return lines;
}

TEST(LineSplitter, LongLineBecomesPiecesOf1022) {
    const std::string line(3000, 'x');
    const PageLines lines = Split({line});
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].size(), 1022u);
    EXPECT_EQ(lines[1].size(), 1022u);
    EXPECT_EQ(lines[2].size(), 956u);
}

TEST(LineSplitter, CrIsDroppedLfKeptLastPieceWithoutLineEnd) {
    EXPECT_EQ(Split({"a\r\nb"}), (PageLines{"a\n", "b"}));
    EXPECT_EQ(Split({"a\r", "\nb\n", "\r\n"}), (PageLines{"a\n", "b\n", "\n"}));
    EXPECT_EQ(Split({"x\ry\n"}), (PageLines{"xy\n"}));
    EXPECT_EQ(Split({""}), PageLines{});
    EXPECT_EQ(Split({"\r\r"}), PageLines{});
}

TEST(LineSplitter, CrCountsTowardsThePieceAndChunksDoNotMatter) {
    EXPECT_EQ(Split({std::string(1021, 'a') + "\r\n"}), (PageLines{std::string(1021, 'a'), "\n"}));
    EXPECT_EQ(Split({std::string(1022, '\r') + "b"}), (PageLines{"", "b"}))
        << "a piece of carriage returns alone is an empty entry";

    std::string body;
    for (int i = 0; i < 200; ++i) {
        body += std::string(static_cast<std::size_t>(i * 13 % 2500), 'q') + "\r\n";
    }
    PageLines whole = Split({body});
    PageLines bytewise;
    LineSplitter splitter(bytewise);
    for (const char c : body) {
        splitter.Feed(std::string_view(&c, 1));
    }
    splitter.Finish();
    EXPECT_EQ(whole, bytewise);
}

TEST(LineSplitter, UnfinishedPieceIsDroppedWithoutFinish) {
    EXPECT_EQ(Split({"one\ntwo\npart"}, false), (PageLines{"one\n", "two\n"}));
}

}  // namespace
}  // namespace quaymark

namespace quaymark {
namespace {

TEST(HasOwnScheme, RecognisesASchemeAtTheStartOnly) {
    EXPECT_TRUE(HasOwnScheme("https://a/"));
    EXPECT_TRUE(HasOwnScheme("ftp://a/"));
    EXPECT_TRUE(HasOwnScheme("svn+ssh://a/"));
    EXPECT_FALSE(HasOwnScheme("www.a.example/?u=ftp://b/"));
    EXPECT_FALSE(HasOwnScheme("://a"));
    EXPECT_FALSE(HasOwnScheme("1ab://a"));
    EXPECT_FALSE(HasOwnScheme("www.a.example"));
}

}  // namespace
}  // namespace quaymark
