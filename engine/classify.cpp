#include "engine/classify.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <functional>
#include <tuple>

#include "storage/atomic_file.h"

namespace quaymark {
namespace {

struct Marker {
    std::string_view phrase;
    SubmitVerdict verdict;
};

// Test order matters: within one line the first marker found decides.
constexpr std::array<Marker, 6> kMarkers{{
    {"WE COULD NOT CONNECT", SubmitVerdict::EngineCouldNotConnect},
    {"THIS DOES NOT SEEM TO BE A VALID URL", SubmitVerdict::InvalidUrl},
    {"WE RECEIVED AN ERROR", SubmitVerdict::Failed},
    {"WE FAILED TO SPIDER", SubmitVerdict::Failed},
    {"ALREADY SUBMITTED", SubmitVerdict::AlreadySubmitted},
    {"ERROR", SubmitVerdict::Failed},
}};

// Markers are plain ASCII, so an ASCII upper-casing is all the comparison needs.
constexpr char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

std::string HostOf(std::string_view address) {
    constexpr std::string_view scheme = "http://";
    address.remove_prefix(scheme.size());
    return std::string(address.substr(0, address.find('/')));
}

PageLines MakeConnectionProblemPage() {
    return {
        "<HTML>",
        "<FONT SIZE=5>Could not connect to Internet.</FONT><BR>",
        "<FONT SIZE=4>Or other connection problem.<BR><BR>",
        "Be sure you are connected to the Internet.<BR>",
        "Be sure you entered a URL beginning with the form : http://<BR><BR><BR>",
        "</FONT><FONT SIZE=2><B>Quaymark! by Tolvane<B><BR>",
        "<A HREF=\"" + std::string(HomePageAddress) + "\">" + HostOf(HomePageAddress) +
            "</A><BR></FONT>",
        "</HTML>",
    };
}

// Replaces whatever stands at the name, a link included, by a new file of the user's alone.
int CreateFresh(const std::filesystem::path& file) {
    ::unlink(file.c_str());
    return ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
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
        return SubmitVerdict::NoPage;
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

std::string ErrorPageName(int n) {
    return "submiterror" + std::to_string(n) + ".html";
}

bool IsSweptErrorPageName(std::string_view fileName) {
    constexpr std::string_view suffix = ".HTML";
    if (fileName.size() < suffix.size()) {
        return false;
    }
    const std::string_view tail = fileName.substr(fileName.size() - suffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        if (AsciiUpper(tail[i]) != suffix[i]) {
            return false;
        }
    }
    return fileName.find("submiterror") != std::string_view::npos;
}

std::filesystem::path WriteErrorPage(const std::filesystem::path& directory,
                                     std::int32_t& ErrorPageCounter, const PageLines& lines) {
    std::filesystem::path page = directory / ErrorPageName(ErrorPageCounter++);
    const int fd = CreateFresh(page);
    if (fd < 0) {
        return page;
    }
    // Every line end on disk is CR LF, the page's own line feeds included.
    std::string text;
    for (const std::string& line : lines) {
        for (const char c : line) {
            if (c == '\n') {
                text += '\r';
            }
            text += c;
        }
        text += "\r\n";
    }
    WriteAll(fd, text);  // a page that cannot be written is skipped: the run goes on
    ::close(fd);
    return page;
}

}  // namespace quaymark
