// What an Announce Changes run came to, and its summary in the run's words.
#include <algorithm>
#include <string>

#include "engine/net/http_text.h"
#include "engine/run/announce_changes.h"

namespace quaymark {

std::string_view ReasonWord(AnnounceReason reason) {
    switch (reason) {
        case AnnounceReason::New:
            return "new";
        case AnnounceReason::Changed:
            return "changed";
        case AnnounceReason::Removed:
            return "removed";
        case AnnounceReason::Asked:
            return "all pages asked for";
    }
    return "";
}

namespace {

std::size_t RefusedPages(const RunResult& run) {
    std::size_t pages = 0;
    for (const RunRequest& request : run.ResubmitList) {
        pages += request.addresses.size();
    }
    return pages;
}

}  // namespace

std::size_t AnnounceOutcome::refused() const {
    return RefusedPages(run) + run.unsendable;
}

std::size_t AnnounceOutcome::announced() const {
    return chosen.size() - std::min(chosen.size(), RefusedPages(run));
}

std::size_t AnnounceOutcome::leftOut() const {
    return passedOver.unchanged + passedOver.recent;
}

std::string AnnounceSummary(const AnnounceOutcome& outcome, bool dryRun) {
    std::size_t fresh = 0;
    std::size_t changed = 0;
    std::size_t removed = 0;
    for (const AnnouncedPage& page : outcome.chosen) {
        (page.reason == AnnounceReason::Removed   ? removed
         : page.reason == AnnounceReason::Changed ? changed
                                                  : fresh)++;
    }
    std::string text =
        (dryRun ? "Would announce " : "Announced ") +
        Counted(dryRun ? outcome.chosen.size() : outcome.announced(), "page", "pages") + " (" +
        std::to_string(fresh) + " new, " + std::to_string(changed) + " changed, " +
        std::to_string(removed) + " removed)";
    if (outcome.refused() > 0) {
        text += ", " + std::to_string(outcome.refused()) + " refused";
    }
    text += ", " + std::to_string(outcome.leftOut()) + " left out as not changed";
    if (const std::string gated = LeftOutByGate(outcome.gatedOut); !gated.empty()) {
        text += ", " + gated;
    }
    if (const std::string checked = LeftOutByChecks(outcome.checkedOut); !checked.empty()) {
        text += ", " + checked;
    }
    std::size_t failed = 0;
    for (const SiteReading& site : outcome.sites) {
        failed += site.failures.size();
    }
    if (failed > 0) {
        text += ", " + Counted(failed, "sitemap", "sitemaps") + " not read";
    }
    const auto empty = std::count_if(outcome.sites.begin(), outcome.sites.end(),
                                     [](const SiteReading& site) { return site.namedNothing; });
    if (empty > 0) {
        text += ", " + Counted(static_cast<std::size_t>(empty), "site", "sites") +
                " whose sitemaps named no page (none counted as removed)";
    }
    if (outcome.cancelled) {
        text += ", stopped before the end";
    }
    return text + ".";
}

bool AnnounceOutcome::sitemapsFailed() const {
    return std::any_of(sites.begin(), sites.end(),
                       [](const SiteReading& site) { return !site.failures.empty(); });
}

}  // namespace quaymark
