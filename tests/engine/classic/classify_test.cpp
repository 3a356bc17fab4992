#include "engine/classic/classify.h"

#include <gtest/gtest.h>

#include "base/product.h"

namespace quaymark {
namespace {

TEST(ClassifyPage, EmptyPageBecomesTheConnectionProblemPage) {
    PageLines lines;
    EXPECT_EQ(ClassifyPage(lines), SubmitVerdict::NoAnswer);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines, ConnectionProblemPage());
    EXPECT_EQ(lines[0], "<HTML>");
    EXPECT_EQ(lines[5], "</FONT><FONT SIZE=2><B>Quaymark! by Tolvane<B><BR>");
    EXPECT_EQ(lines[6], "<A HREF=\"" + std::string(kMakerHomePage) +
                            "\">www.tolvane.example.com</A><BR></FONT>");
    EXPECT_EQ(lines[7], "</HTML>");
}

TEST(ClassifyPage, EarliestLineDecidesThenMarkerOrder) {
    PageLines page{"<p>\n", "hello\n", "Your page was already submitted\n", "x\n",
                   "sorry, we could not connect\n"};
    EXPECT_EQ(ClassifyPage(page), SubmitVerdict::AlreadyKnown);
    EXPECT_EQ(page.size(), 5u) << "a page with lines is left as it was";

    PageLines both{"ERROR: ALREADY SUBMITTED\n"};
    EXPECT_EQ(ClassifyPage(both), SubmitVerdict::AlreadyKnown);

    PageLines connectFirst{"this does not seem to be a valid url, we could not connect\n"};
    EXPECT_EQ(ClassifyPage(connectFirst), SubmitVerdict::SiteUnreachable);

    PageLines spider{"We failed to spider your page\n"};
    EXPECT_EQ(ClassifyPage(spider), SubmitVerdict::Failed);

    PageLines invalid{"This does not seem to be a valid URL\n"};
    EXPECT_EQ(ClassifyPage(invalid), SubmitVerdict::AddressRefused);
}

TEST(ClassifyPage, ErrorAnywhereInAnyCaseFails) {
    PageLines attribute{"<img src=x OnErRoR=\"f()\">\n"};
    EXPECT_EQ(ClassifyPage(attribute), SubmitVerdict::Failed);
    PageLines clean{"<html>\n", "Thank you, your URL was received.\n"};
    EXPECT_EQ(ClassifyPage(clean), SubmitVerdict::Accepted);
}

TEST(ClassifyPage, MarkerSplitAcrossPiecesIsNotFound) {
    PageLines split{"... ALREADY SUB", "MITTED ...\n"};
    EXPECT_EQ(ClassifyPage(split), SubmitVerdict::Accepted);
    PageLines nonAscii{"\xc9RROR \xff text\n"};
    EXPECT_EQ(ClassifyPage(nonAscii), SubmitVerdict::Accepted);
}

}  // namespace
}  // namespace quaymark
