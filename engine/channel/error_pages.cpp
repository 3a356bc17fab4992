#include "engine/channel/error_pages.h"

#include <fcntl.h>
#include <unistd.h>

#include "engine/net/http_text.h"
#include "storage/atomic_file.h"

namespace quaymark {

std::string EscapeHtml(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

void AppendAnswer(PageLines& page, std::string_view heading, const StatusAnswer& answer) {
    if (answer.status == 0) {
        page.push_back("The transfer failed: " + EscapeHtml(Describe(answer.failure)) + ".<BR>");
    } else {
        page.push_back(std::string(heading) + "<BR>");
        page.push_back("<PRE>" + EscapeHtml(answer.statusLine));
        page.push_back(EscapeHtml(answer.body) + (answer.bodyCut ? "\n[cut at 64 KiB]" : "") +
                       "</PRE>");
    }
    page.push_back("</HTML>");
}
namespace {

// Replaces whatever stands at the name, a link included, by a new file of the user's alone.
int CreateFresh(const std::filesystem::path& file) {
    ::unlink(file.c_str());
    return ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

}  // namespace

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
