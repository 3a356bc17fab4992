#include "engine/check/page_reader.h"

#include <gtest/gtest.h>

#include <string>

namespace quaymark {
namespace {

constexpr const char* kPage = "https://www.example.test/garden/roses.html";

std::string Html(const std::string& head, const std::string& main, const std::string& footer) {
    return "<!doctype html><html><head><title>Roses</title>" + head +
           "</head><body><header><a href=/>Home</a></header><nav>Menu</nav><main>" + main +
           "</main><aside>Related</aside><script>var t = Date.now();</script><footer>" + footer +
           "</footer></body></html>";
}

// The main text's fingerprint stays through a changed footer, menu, script or blank, and moves
// with the text itself.
TEST(PageReader, FingerprintFollowsTheMainTextOnly) {
    const std::string main = "<h1>Roses</h1>\n<p>Prune   in <b>March</b>.</p>";
    const PageReading first = ReadPage(Html("", main, "(c) 2025"), kPage);
    EXPECT_FALSE(first.noindex);
    EXPECT_EQ(first.canonical, "");
    EXPECT_FALSE(first.cut);
    const std::string rebuilt =
        "<!doctype html><html><head><title>New</title><style>p{}</style></head><body>"
        "<div role=navigation>Other menu</div><main><h1>Roses</h1><p>Prune in\t<b>March</b>. "
        "</p></main><footer>(c) 2026</footer><script>var u;</script></body></html>";
    EXPECT_EQ(ReadPage("<h1>Roses</h1><p>Prune in Ma<i>rch</i>.", kPage).fingerprint,
              first.fingerprint)
        << "markup within a line is no change";
    EXPECT_EQ(ReadPage(rebuilt, kPage).fingerprint, first.fingerprint);
    EXPECT_NE(
        ReadPage(Html("", "<h1>Roses</h1><p>Prune in April.</p>", "(c) 2025"), kPage).fingerprint,
        first.fingerprint);
}

TEST(PageReader, NoindexAndCanonicalFromTheHeadAndFromHeaders) {
    EXPECT_TRUE(
        ReadPage(Html("<meta name=ROBOTS content='index, NoIndex'>", "", ""), kPage).noindex);
    EXPECT_TRUE(ReadPage(Html("<meta name=googlebot content=none>", "", ""), kPage).noindex);
    EXPECT_FALSE(ReadPage(Html("<meta name=otherbot content=noindex>", "", ""), kPage).noindex);
    EXPECT_EQ(ReadPage(Html("<link rel='Canonical' href='../Roses.html#top'>"
                            "<link rel=canonical href=https://other.test/>",
                            "", ""),
                       kPage)
                  .canonical,
              "https://www.example.test/Roses.html");
    EXPECT_EQ(ReadPage(Html("<link rel=canonical href='mailto:me@example.test'>", "", ""), kPage)
                  .canonical,
              "");
    // What a visitor may post in the body names no canonical; a template's content is inert.
    EXPECT_EQ(ReadPage(Html("", "<p>Hi<link rel=canonical href=https://spam.test/>", ""), kPage)
                  .canonical,
              "");
    EXPECT_FALSE(
        ReadPage(Html("<template><meta name=robots content=noindex></template>", "", ""), kPage)
            .noindex);

    EXPECT_TRUE(HeaderSaysNoindex("noindex, nofollow"));
    EXPECT_TRUE(HeaderSaysNoindex("otherbot: noindex, googlebot: nofollow, NONE"));
    EXPECT_FALSE(HeaderSaysNoindex("otherbot: noindex, nofollow"));
    EXPECT_FALSE(HeaderSaysNoindex("unavailable_after: 25 Jun 2010 15:00:00 PST"));
    EXPECT_EQ(CanonicalOfLinkHeader("<https://cdn.test/a,b>; rel=preload, </roses>; "
                                    "rel=\"canonical\"",
                                    kPage),
              "https://www.example.test/roses");
    EXPECT_EQ(CanonicalOfLinkHeader("</roses>; rel=next", kPage), std::nullopt);
}

// Bounded by bytes and by nesting: a page nested 50,000 deep is read up to the limit, in the
// time of a small one; a page without end tags it may leave out is read whole.
TEST(PageReader, HostileNestingAndSizeAreReadInPart) {
    std::string deep = "<html><body><p>Before</p>";
    for (int i = 0; i < 50000; ++i) {
        deep += "<div>";
    }
    const PageReading nested = ReadPage(deep + "After", kPage);
    EXPECT_TRUE(nested.cut);
    EXPECT_EQ(nested.fingerprint, ReadPage("<p>Before", kPage).fingerprint);

    std::string list = "<ul>";
    for (int i = 0; i < 1000; ++i) {
        list += "<li>item<p>text";
    }
    EXPECT_FALSE(ReadPage(list, kPage).cut);
    EXPECT_TRUE(ReadPage(std::string(100, 'x'), kPage, {.maxBytes = 10}).cut);
}

// Pages whose parse would grow without end within the byte cap: formatting elements the parser
// rebuilds at every paragraph, and one tag of countless attributes it compares with each other.
// Each is read in part within its bounds (short ones here), and its head still counts.
TEST(PageReader, APageCostingTheParserTooMuchIsReadInPart) {
    const std::string head = "<html><head><meta name=robots content=noindex></head><body>";
    std::string formatting = head;
    for (int i = 0; i < 200; ++i) {
        formatting += "<b id=" + std::to_string(i) + ">";
    }
    while (formatting.size() < (std::size_t{1} << 20) - 3) {
        formatting += "<p>";
    }
    std::string attributes = head + "<div";
    for (int i = 0; attributes.size() < (std::size_t{1} << 20) - 16; ++i) {
        attributes += " a" + std::to_string(i);
    }
    attributes += ">text</div>";
    const PageReadLimits bounded{.parserBytes = std::size_t{8} << 20,
                                 .cpu = std::chrono::milliseconds(300)};
    for (const std::string& page : {formatting, attributes}) {
        const PageReading reading = ReadPage(page, kPage, bounded);
        EXPECT_TRUE(reading.cut);
        EXPECT_TRUE(reading.noindex);
    }
}

}  // namespace
}  // namespace quaymark
