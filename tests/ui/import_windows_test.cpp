#include "ui/import_windows.h"

#include <gtest/gtest.h>

namespace quaymark::ui {
namespace {

// Each way a sitemap can fail, as the import's message and details word it.
TEST(ImportWindows, EachSitemapFailureIsWordedWithItsDetail) {
    using Kind = SitemapProblem::Kind;
    const std::pair<SitemapProblem, const char*> worded[] = {
        {{.kind = Kind::NotWebAddress}, "not an http or https address"},
        {{.kind = Kind::Transfer,
          .transfer = {.kind = TransferFailure::Kind::NonWebRedirect,
                       .detail = "file:///etc/passwd"}},
         "redirected to a non-web address: file:///etc/passwd"},
        {{.kind = Kind::Answered, .number = 404}, "answered 404"},
        {{.kind = Kind::NotWellFormed, .number = 2, .detail = "unclosed token"},
         "not well-formed XML (line 2: unclosed token)"},
        {{.kind = Kind::NotASitemap, .detail = "html"},
         "not a sitemap: its root element is <html>"},
        {{.kind = Kind::DeclaresEntities}, "declares entities, which no sitemap does"},
        {{.kind = Kind::NotGzip}, "not valid gzip"},
        {{.kind = Kind::GzipCutShort}, "gzip data cut short"},
        {{.kind = Kind::Empty}, "empty"},
        {{.kind = Kind::TooLarge, .number = 1 << 20}, "larger than 1 MiB uncompressed"},
        {{.kind = Kind::TooManyAddresses, .number = 3}, "holds more than 3 addresses"},
        {{.kind = Kind::PageLimit, .number = 3},
         "the import's limit of 3 addresses was reached; the rest was not read"},
        {{.kind = Kind::PageBytesLimit, .number = 40},
         "the import's limit of 40 bytes of addresses was reached; the rest was not read"},
    };
    for (const auto& [problem, words] : worded) {
        EXPECT_EQ(FailureLine({.sitemap = "http://site.test/s.xml", .problem = problem}),
                  QStringLiteral("http://site.test/s.xml: ") + QString::fromUtf8(words));
    }
}

}  // namespace
}  // namespace quaymark::ui
