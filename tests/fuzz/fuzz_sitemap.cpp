// Reading a sitemap, fed in two pieces: whatever the bytes, every page handed on is an
// address of the sitemap's host on one line, and no more than the limit of them.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/sitemap/sitemap_import.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    quaymark::SitemapLimits limits;
    limits.maxAddresses = 100;
    limits.maxBytes = 1 << 20;
    std::size_t pages = 0;
    quaymark::SitemapParser parser("a.test", limits,
                                   {[&](const quaymark::SitemapPage& page) {
                                        ++pages;
                                        if (!quaymark::IsPageOfHost(page.url, "a.test") ||
                                            page.url.find('\n') != std::string::npos) {
                                            std::abort();
                                        }
                                    },
                                    [](const std::string&) {}});
    const std::size_t split = size == 0 ? 0 : data[0] % (size + 1);
    if (parser.Feed(bytes.substr(0, split)) && parser.Feed(bytes.substr(split))) {
        parser.Finish();
    }
    if (pages > limits.maxAddresses) {
        std::abort();
    }
    return 0;
}
