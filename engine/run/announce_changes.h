#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <stop_token>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/channel/channel.h"
#include "engine/indexnow/indexnow.h"
#include "engine/indexnow/status_meaning.h"
#include "engine/run/page_screen.h"
#include "engine/run/run_gate.h"
#include "engine/run/run_stores.h"
#include "engine/run/submit_run.h"
#include "engine/sitemap/sitemap_import.h"

namespace quaymark {

// How the progress window names the reading of the sitemaps.
inline constexpr std::string_view kReadingSitemapsName = "Reading sitemaps";

// What Announce Changes is given: the user's channels, which sites, and how.
struct AnnounceJob {
    IndexNowSettings settings;
    // Google Search Console, when its key is given.
    GoogleJob google{};
    // The credentials of the engines' own channels, by section.
    std::map<std::string, std::string, std::less<>> credentials{};
    // One site, as an address on it; every site with remembered sitemaps when empty.
    std::string site{};
    // Every page the sitemaps name, new or changed or not.
    bool all = false;
    // Reads the sitemaps and tells what would be announced; sends and records nothing.
    bool dryRun = false;
    std::filesystem::path errorPageDir{};
    RetryPolicy retry{};
    RunRouting routing{};
    SitemapLimits limits{};
};

// Why a page is announced.
enum class AnnounceReason { New, Changed, Removed, Asked };
std::string_view ReasonWord(AnnounceReason reason);

struct AnnouncedPage {
    std::string address;
    AnnounceReason reason;
};

// What one site's sitemaps gave when read again.
struct SiteReading {
    std::string site;
    std::size_t sitemaps = 0;
    // Those that answered they had not changed.
    std::size_t unchanged = 0;
    std::vector<SitemapFailure> failures;
    ImportNotes notes;
    // Pages that left every sitemap of the site on this read.
    std::size_t newlyRemoved = 0;
    // Its sitemaps named no page at all where they named some before: taken for a fault of
    // the site, not for the end of every page, so nothing counts as removed.
    bool namedNothing = false;
};

// What Announce Changes did, or in a dry run would do.
struct AnnounceOutcome {
    enum class Setup { Ready, NoChannel, NoSitemap, NoSuchSite };
    Setup setup = Setup::Ready;
    std::vector<SiteReading> sites{};
    // Every page the sites' sitemaps name now, for the list, in sitemap order.
    std::vector<std::string> listPages{};
    // What is announced, and why.
    std::vector<AnnouncedPage> chosen{};
    PassedOver passedOver{};
    // The pages the gate left out, by reason, and those their checks left out, by verdict.
    std::map<GateReason, std::size_t> gatedOut{};
    std::map<PageVerdict, std::size_t> checkedOut{};
    // The run's, with what the checks found first; in a dry run only those.
    RunResult run{};
    bool cancelled = false;

    // The pages whose announcement was refused with the failures that had nothing to send
    // again (a channel that could not sign in), those announced, and those left out as not
    // changed since their last announcement.
    std::size_t refused() const;
    std::size_t announced() const;
    std::size_t leftOut() const;
    bool sitemapsFailed() const;
};

// What the outcome comes to in one line, such as "Announced 3 pages (1 new, 1 changed,
// 1 removed), 40 left out as not changed."; in a dry run "Would announce ...".
std::string AnnounceSummary(const AnnounceOutcome& outcome, bool dryRun);

// Announce Changes: each site's remembered sitemaps read again with conditional requests,
// their pages and lastmods kept, the pages that left every sitemap of their site marked, and
// what is new, changed or removed announced through the chosen modern channels. A sitemap
// that could not be read keeps the pages it gave before, so its failure removes nothing.
// Used once, from a worker thread; the stop token cancels it from any thread.
class AnnounceChanges {
public:
    // What it reads and keeps goes through the stores, which its run uses as well.
    AnnounceChanges(AnnounceJob job, RunStores& stores, RunObserver& observer,
                    std::stop_token stop = {});

    AnnounceOutcome Run();

private:
    // Reads one site again and keeps what it found; adds its pages to the run's.
    void ReadSite(const std::string& site, const std::vector<RememberedSitemap>& sitemaps,
                  AnnounceOutcome& outcome);
    void TakeDecided(const std::vector<std::string>& decided, std::size_t& named,
                     AnnounceOutcome& outcome);
    // Those of the pages the decided sitemaps name.
    std::unordered_set<std::string> NamedByDecided(const std::vector<std::string>& decided,
                                                   const std::vector<std::string>& pages);
    // The dates of those of the pages not yet known.
    void LoadDates(const std::vector<std::string>& pages);
    // The pages that may be announced, once checked.
    std::vector<std::string> Checked(AnnounceOutcome& outcome);
    void Announce(AnnounceOutcome& outcome);

    AnnounceJob job_;
    RunStores& stores_;
    AnnounceMemory& memory_;
    RunObserver& observer_;
    std::stop_token stop_;
    std::int64_t now_;
    // Whether the pages of sitemaps that answered unchanged are decided in the history, so
    // that only what may be announced is loaded; not when every page is checked or asked for.
    bool decideInHistory_ = false;
    // The pages their checks let only some channels announce: to whom.
    std::unordered_map<std::string, Audience> onlyFor_;
    std::unordered_set<std::string> kept_;
    // The hosts whose IndexNow key the gate found not served.
    std::unordered_set<std::string> keyRefused_;
    std::size_t unchangedInHistory_ = 0;
    std::unordered_map<std::string, PageDates> dates_;
    std::vector<RemovedPage> removed_;
    // The pages to hand the channels, each once: those the sitemaps name now, then those
    // announced as removed.
    std::vector<std::string> items_;
    std::unordered_set<std::string> present_;
    std::unordered_set<std::string> removedItems_;
};

}  // namespace quaymark
