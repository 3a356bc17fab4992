#include "engine/classic/classify.h"

#include <algorithm>
#include <functional>
#include <tuple>

#include "base/product.h"
#include "engine/net/http_text.h"
#include "engine/net/web_address.h"

namespace quaymark {
namespace {

PageLines MakeConnectionProblemPage() {
    return {
        "<HTML>",
        "<FONT SIZE=5>Could not connect to Internet.</FONT><BR>",
        "<FONT SIZE=4>Or other connection problem.<BR><BR>",
        "Be sure you are connected to the Internet.<BR>",
        "Be sure you entered a URL beginning with the form : http://<BR><BR><BR>",
        "</FONT><FONT SIZE=2><B>Quaymark! by Tolvane<B><BR>",
        "<A HREF=\"" + std::string(kMakerHomePage) + "\">" + HostOf(kMakerHomePage).value_or("") +
            "</A><BR></FONT>",
        "</HTML>",
    };
}

}  // namespace

SubmitVerdict ClassifyAnswer(long status, PageLines& lines) {
    const SubmitVerdict verdict = ClassifyPage(lines);
    return verdict == SubmitVerdict::Accepted && status >= 400 ? SubmitVerdict::Failed : verdict;
}

const PageLines& ConnectionProblemPage() {
    static const PageLines page = MakeConnectionProblemPage();
    return page;
}

SubmitVerdict ClassifyPage(PageLines& lines) {
    if (lines.empty()) {
        const PageLines& page = ConnectionProblemPage();
        lines.insert(lines.end(), page.begin(), page.end());
        return SubmitVerdict::NoAnswer;
    }
    // Pages of long lines of ordinary text are the common case: a skipping search keeps
    // judging them far cheaper than fetching them.
    using Searcher = std::boyer_moore_horspool_searcher<std::string_view::const_iterator>;
    static const std::array<Searcher, kMarkers.size()> searchers = [] {
        return std::apply(
            [](const auto&... marker) {
                return std::array<Searcher, kMarkers.size()>{
                    Searcher(marker.phrase.begin(), marker.phrase.end())...};
            },
            kMarkers);
    }();
    std::string upper;
    for (const std::string& line : lines) {
        upper.resize(line.size());
        // Markers are plain ASCII, so an ASCII upper-casing is all the comparison needs.
        std::transform(line.begin(), line.end(), upper.begin(), AsciiUpper);
        const std::string_view text(upper);
        for (std::size_t m = 0; m < kMarkers.size(); ++m) {
            if (std::search(text.begin(), text.end(), searchers[m]) != text.end()) {
                return kMarkers[m].verdict;
            }
        }
    }
    return SubmitVerdict::Accepted;
}

}  // namespace quaymark
