// Reading a page and a robots.txt: whatever the bytes, the reading ends within its limits, and
// a canonical address, when there is one, is an http or https address on one line.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/check/page_reader.h"
#include "engine/check/robots_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const quaymark::PageReading reading =
        quaymark::ReadPage(bytes, "https://a.test/dir/page.html", {.maxBytes = 1 << 16});
    if (!reading.canonical.empty() && (reading.canonical.rfind("http", 0) != 0 ||
                                       reading.canonical.find('\n') != std::string::npos)) {
        std::abort();
    }
    quaymark::HeaderSaysNoindex(bytes);
    if (const auto canonical = quaymark::CanonicalOfLinkHeader(bytes, "https://a.test/");
        canonical && canonical->rfind("http", 0) != 0) {
        std::abort();
    }
    const quaymark::RobotsRules robots = quaymark::RobotsRules::Parse(bytes);
    robots.Allows(bytes.substr(0, 256));
    robots.Allows("/index.html");
    return 0;
}
