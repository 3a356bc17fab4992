#include "engine/check/page_readers.h"

#include "engine/check/page_reader.h"
#include "engine/net/web_address.h"

namespace quaymark {

// Another address than the page's own, as both are normalised.
bool Elsewhere(const std::string& canonical, const std::string& address) {
    return !canonical.empty() && canonical != NormalisedAddress(address).value_or(address);
}

// What a page's HTML says of it, added to the check its answer began (with whom its headers
// said noindex to).
void ReadHtml(PageCheck& check, std::string_view body) {
    const PageReading reading = ReadPage(body, check.address);
    const Audience noindex = reading.noindex | check.noindexFor;
    check.verdict = noindex == kEveryRobot                        ? PageVerdict::Noindex
                    : Elsewhere(reading.canonical, check.address) ? PageVerdict::CanonicalElsewhere
                                                                  : PageVerdict::Indexable;
    check.noindexFor = check.verdict == PageVerdict::Indexable ? noindex : kNoRobot;
    check.detail = check.verdict == PageVerdict::CanonicalElsewhere ? reading.canonical : "";
    check.fingerprint = reading.fingerprint;
    check.cut = check.cut || reading.cut;
}

}  // namespace quaymark
