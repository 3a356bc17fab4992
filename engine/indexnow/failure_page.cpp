#include "engine/indexnow/failure_page.h"

#include <string>

#include "engine/channel/error_pages.h"
#include "engine/indexnow/status_meaning.h"

namespace quaymark {
namespace {

// What the status means and what to do about it, in our words.
std::string Advice(const StatusAnswer& answer, const IndexNowSettings& settings,
                   std::string_view host) {
    const std::string key = EscapeHtml(settings.key);
    switch (MeaningOf(answer.status)) {
        case StatusMeaning::NoAnswer:
            return "No answer came from " + EscapeHtml(settings.endpoint) + ": " +
                   EscapeHtml(Describe(answer.failure)) +
                   ". Be sure you are connected to the Internet and that the endpoint's address "
                   "is right.";
        case StatusMeaning::BadRequest:
            return "The endpoint could not read the announcement. Try again; if it happens "
                   "again, choose another endpoint.";
        case StatusMeaning::KeyNotValid:
            return "The endpoint did not find the key on the site. Put a file named " + key +
                   ".txt holding exactly the key " + key + " at the root of https://" +
                   EscapeHtml(host) + "/, or set the key location to where the key file is.";
        case StatusMeaning::NotMatching:
            return "The addresses do not all belong to " + EscapeHtml(host) +
                   ", or the key does not match the key file of the site. Check both with "
                   "Check in the Channels window.";
        case StatusMeaning::TooMany:
            return "The endpoint takes no more announcements for now. Try again later, and "
                   "announce only pages that are new or changed.";
        case StatusMeaning::Redirected:
            return "The endpoint's address has moved, and announcements are never sent on to "
                   "another address. Use the address it names: " +
                   EscapeHtml(answer.location) + ".";
        case StatusMeaning::ServerError:
            return "The endpoint had a problem of its own. Try again later.";
        case StatusMeaning::Received:
        case StatusMeaning::Other:
            break;
    }
    return "The announcement was not taken.";
}

}  // namespace

PageLines IndexNowFailurePage(std::string_view reason, const StatusAnswer& answer,
                              const IndexNowSettings& settings, std::string_view label,
                              std::string_view host) {
    PageLines page{
        "<HTML>",
        "<FONT SIZE=5>IndexNow: " + EscapeHtml(reason) + "</FONT><BR>",
        "<FONT SIZE=4>" + EscapeHtml(label) + "</FONT><BR><BR>",
        Advice(answer, settings, host) + "<BR><BR>",
    };
    AppendAnswer(page, "The endpoint's answer:", answer);
    return page;
}

PageLines NotAnnouncedPage(std::string_view address) {
    return {
        "<HTML>",
        "<FONT SIZE=5>IndexNow: " + std::string(kNotAnnounceable) + "</FONT><BR>",
        "<FONT SIZE=4>" + EscapeHtml(address) + "<BR><BR>",
        "Nothing was sent.<BR>",
        "IndexNow takes http:// and https:// addresses with a host only.<BR>",
        "</FONT></HTML>",
    };
}

}  // namespace quaymark
