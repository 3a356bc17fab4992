#include "engine/run/announce_changes.h"

#include <algorithm>
#include <ctime>
#include <iterator>
#include <map>

#include "engine/net/http_text.h"
#include "engine/net/web_address.h"
#include "engine/run/channel_kinds.h"

namespace quaymark {
namespace {

// Announce Changes sends through the modern channels only, which never ask the user anything.
class NoPrompt : public FetchPrompt {
public:
    void ShowCannotOpenConnection() override {}
    std::optional<Credentials> AskCredentials(const std::string&) override { return {}; }
};

// The reading of the sitemaps, told to the run's follower as a run of one step per site.
class ReadingObserver : public ImportObserver {
public:
    explicit ReadingObserver(RunObserver& observer) : observer_(observer) {}
    void SitemapStarted(const std::string& url) override {
        observer_.AddressStarted(url);
        observer_.EngineStarted(kReadingSitemapsName);
    }
    void AddressesFound(std::size_t) override {}

private:
    RunObserver& observer_;
};

}  // namespace

AnnounceChanges::AnnounceChanges(AnnounceJob job, RunStores& stores, RunObserver& observer,
                                 std::stop_token stop)
    : job_(std::move(job)),
      stores_(stores),
      memory_(stores.sites()),
      observer_(observer),
      stop_(std::move(stop)),
      now_(std::time(nullptr)) {}

AnnounceOutcome AnnounceChanges::Run() {
    AnnounceOutcome outcome;
    if (!AnyModernChannelOn({.settings = job_.settings,
                             .googleKey = job_.google.key,
                             .credentials = job_.credentials})) {
        outcome.setup = AnnounceOutcome::Setup::NoChannel;
        return outcome;
    }
    std::map<std::string, std::vector<RememberedSitemap>> bySite;
    for (RememberedSitemap& sitemap : memory_.Sitemaps()) {
        if (job_.site.empty() || sitemap.site == SiteRoot(job_.site).value_or(job_.site)) {
            bySite[sitemap.site].push_back(std::move(sitemap));
        }
    }
    if (bySite.empty()) {
        outcome.setup = job_.site.empty() ? AnnounceOutcome::Setup::NoSitemap
                                          : AnnounceOutcome::Setup::NoSuchSite;
        return outcome;
    }
    removed_ = memory_.RemovedPages();
    for (std::string& sitemap : memory_.KeptSitemaps()) {
        kept_.insert(std::move(sitemap));
    }
    // Checks and --all take every page; otherwise what is loaded grows with what changed.
    decideInHistory_ = !job_.settings.checkPages && !job_.all;
    if (!decideInHistory_) {
        dates_ = memory_.AnnouncedDates(ChangesMeasuredFrom());
    }
    observer_.RunStarted(static_cast<int>(bySite.size()), 1, 0);
    for (const auto& [site, sitemaps] : bySite) {
        ReadSite(site, sitemaps, outcome);
        observer_.RequestDone();
        if (outcome.cancelled) {
            observer_.RunEnded();
            return outcome;
        }
    }
    Announce(outcome);
    return outcome;
}

void AnnounceChanges::ReadSite(const std::string& site,
                               const std::vector<RememberedSitemap>& sitemaps,
                               AnnounceOutcome& outcome) {
    // One whose pages were never kept (remembered by an earlier version) is read whole: an
    // answer that it had not changed would tell nothing. An index, or a sitemap that named
    // nothing, had its empty list kept: it is asked conditionally like any other.
    std::vector<RememberedSitemap> asked = sitemaps;
    for (RememberedSitemap& sitemap : asked) {
        if (kept_.count(sitemap.sitemap) == 0) {
            sitemap.etag.clear();
            sitemap.lastModified.clear();
        }
    }
    ReadingObserver reading(observer_);
    if (stop_.stop_requested()) {
        outcome.cancelled = true;
        return;
    }
    SitemapImport import =
        SitemapImporter(job_.routing, reading, job_.limits, stop_).Reread(site, asked);
    if (import.cancelled) {
        outcome.cancelled = true;
        return;
    }
    SiteReading& found = outcome.sites.emplace_back(SiteReading{
        .site = site,
        .sitemaps = sitemaps.size(),
        .unchanged = import.unchanged.size(),
        .failures = std::move(import.failures),
        .notes = std::move(import.notes),
    });

    // What each sitemap gave when last read: loaded for those read again, whose pages may
    // have left them, and for those that could not be read; those that answered unchanged
    // are left to the history to decide, where nothing else needs every page.
    std::vector<SitemapPages> kept = SitemapPagesOf(import);
    std::unordered_set<std::string> readNow;
    for (const SitemapPages& read : kept) {
        readNow.insert(NormalisedAddress(read.sitemap).value_or(read.sitemap));
    }
    const std::unordered_set<std::string> unchanged(import.unchanged.begin(),
                                                    import.unchanged.end());
    std::vector<std::vector<std::string>> gave(sitemaps.size());
    std::vector<std::string> decided;
    for (std::size_t i = 0; i < sitemaps.size(); ++i) {
        const std::string& sitemap = sitemaps[i].sitemap;
        if (decideInHistory_ && unchanged.count(sitemap) > 0) {
            decided.push_back(sitemap);
            continue;
        }
        gave[i] = memory_.PagesOfSitemap(sitemap).value_or(std::vector<std::string>{});
    }

    // The pages the site's sitemaps name now: what those read gave, and what the others gave
    // before, whether they answered unchanged or could not be read. A page is taken once,
    // whichever site's sitemaps name it.
    const std::size_t itemsBefore = items_.size();
    std::size_t named = 0;
    const auto take = [&](const std::string& page) {
        ++named;
        if (present_.insert(page).second) {
            outcome.listPages.push_back(page);
            items_.push_back(page);
        }
    };
    for (const SitemapPages& read : kept) {
        std::for_each(read.pages.begin(), read.pages.end(), take);
    }
    for (std::size_t i = 0; i < sitemaps.size(); ++i) {
        const std::string& sitemap = sitemaps[i].sitemap;
        if (readNow.count(NormalisedAddress(sitemap).value_or(sitemap)) == 0) {
            std::for_each(gave[i].begin(), gave[i].end(), take);
        }
    }
    std::vector<std::string> toDate(items_.begin() + static_cast<std::ptrdiff_t>(itemsBefore),
                                    items_.end());
    TakeDecided(decided, named, outcome);

    // Pages that left every sitemap are marked once, since now; those named again are not.
    std::vector<RemovedPage> ofSite;
    std::vector<std::string> leaving;
    for (const RemovedPage& page : removed_) {
        if (page.site == site) {
            ofSite.push_back(page);
            leaving.push_back(page.address);
        }
    }
    found.namedNothing = named == 0 && std::any_of(gave.begin(), gave.end(),
                                                   [](const auto& g) { return !g.empty(); });
    std::unordered_set<std::string> marked(leaving.begin(), leaving.end());
    std::vector<std::string> gone;
    for (const std::vector<std::string>& before : gave) {
        for (const std::string& page : before) {
            if (!found.namedNothing && present_.count(page) == 0 && marked.insert(page).second) {
                gone.push_back(page);
                leaving.push_back(page);
            }
        }
    }
    const std::unordered_set<std::string> stillNamed = NamedByDecided(decided, leaving);
    std::vector<std::string> cameBack;
    std::vector<RemovedPage> stillRemoved;
    for (const RemovedPage& page : ofSite) {
        if (present_.count(page.address) > 0 || stillNamed.count(page.address) > 0) {
            cameBack.push_back(page.address);
        } else {
            stillRemoved.push_back(page);
        }
    }
    std::vector<RemovedPage> newlyRemoved;
    for (const std::string& page : gone) {
        if (stillNamed.count(page) == 0) {
            newlyRemoved.push_back({.address = page, .site = site, .since = now_});
            stillRemoved.push_back(newlyRemoved.back());
        }
    }
    found.newlyRemoved = newlyRemoved.size();

    if (decideInHistory_) {
        for (const RemovedPage& page : stillRemoved) {
            toDate.push_back(page.address);
        }
        LoadDates(toDate);
    }
    std::vector<std::pair<std::string, std::int64_t>> lastmods;
    for (const SitemapPage& page : import.pages) {
        if (page.lastmod) {
            lastmods.emplace_back(page.url, *page.lastmod);
            dates_[page.url].lastmod = *page.lastmod;
        }
    }

    // Such a read is not kept either: the next one compares with what the sitemaps gave before.
    if (!job_.dryRun && !found.namedNothing) {
        std::vector<RememberedSitemap> remembered = SitemapsToRemember(import, now_);
        for (const std::string& same : import.unchanged) {
            const auto last = std::find_if(sitemaps.begin(), sitemaps.end(),
                                           [&](const auto& s) { return s.sitemap == same; });
            if (last != sitemaps.end()) {
                RememberedSitemap again = *last;
                again.readAt = now_;
                remembered.push_back(std::move(again));
            }
        }
        memory_.KeepReading(std::move(remembered), std::move(kept), std::move(lastmods),
                            newlyRemoved, cameBack);
    }

    // A removed page counts as changed when it left: announced once, then not again.
    for (const RemovedPage& page : stillRemoved) {
        PageDates& dates = dates_[page.address];
        dates.lastmod = std::max(dates.lastmod.value_or(page.since), page.since);
        items_.push_back(page.address);
        removedItems_.insert(page.address);
    }
}

// The pages of the sitemaps that answered unchanged: every one for the list, and only those
// the history finds new, changed or recently announced for the run; the others are counted
// as not changed without being loaded.
void AnnounceChanges::TakeDecided(const std::vector<std::string>& decided, std::size_t& named,
                                  AnnounceOutcome& outcome) {
    if (decided.empty()) {
        return;
    }
    NamedPages pages = memory_.PagesNamedBy(decided, now_ - kReannounceAfterSeconds);
    named += pages.pages.size();
    std::size_t taken = 0;
    for (std::string& page : pages.pages) {
        if (present_.count(page) == 0) {
            ++taken;
            outcome.listPages.push_back(std::move(page));
        }
    }
    for (auto& [page, dates] : pages.open) {
        if (present_.insert(page).second) {
            --taken;
            items_.push_back(page);
            dates_[page] = dates;
        }
    }
    unchangedInHistory_ += taken;
}

std::unordered_set<std::string> AnnounceChanges::NamedByDecided(
    const std::vector<std::string>& decided, const std::vector<std::string>& pages) {
    if (decided.empty() || pages.empty()) {
        return {};
    }
    const std::vector<std::string> named = memory_.NamedAmong(decided, pages);
    return {named.begin(), named.end()};
}

void AnnounceChanges::LoadDates(const std::vector<std::string>& pages) {
    std::vector<std::string> undated;
    std::copy_if(pages.begin(), pages.end(), std::back_inserter(undated),
                 [&](const std::string& page) { return dates_.count(page) == 0; });
    if (undated.empty()) {
        return;
    }
    for (auto& [page, dates] : memory_.DatesOf(ChangesMeasuredFrom(), undated)) {
        dates_.emplace(page, dates);
    }
}

// The pages the sitemaps name now are checked first; those that left them are announced once
// as before, whatever they answer now.
std::vector<std::string> AnnounceChanges::Checked(AnnounceOutcome& outcome) {
    RunGate gate = PassGate(items_,
                            {.routing = job_.routing,
                             .settings = &job_.settings,
                             .indexNow = job_.settings.enabled && !job_.settings.key.empty(),
                             .keep = !job_.dryRun,
                             .now = now_,
                             .stop = stop_},
                            &stores_.requests());
    outcome.gatedOut = std::move(gate.leftOut);
    outcome.run.notes = std::move(gate.notes);
    keyRefused_ = std::move(gate.keyRefused);
    if (!job_.settings.checkPages) {
        return gate.passed;
    }
    std::vector<std::string> named;
    std::copy_if(gate.passed.begin(), gate.passed.end(), std::back_inserter(named),
                 [&](const std::string& page) { return removedItems_.count(page) == 0; });
    ScreenOutcome screened =
        ScreenPages(named, dates_, {.routing = job_.routing, .keep = !job_.dryRun, .now = now_},
                    &stores_.requests(), observer_, stop_);
    outcome.cancelled = screened.cancelled;
    outcome.checkedOut = std::move(screened.leftOut);
    outcome.run.notes.insert(outcome.run.notes.end(),
                             std::make_move_iterator(screened.notes.begin()),
                             std::make_move_iterator(screened.notes.end()));
    removedItems_.insert(screened.removed.begin(), screened.removed.end());
    onlyFor_ = std::move(screened.onlyFor);
    const std::unordered_set<std::string> passed(screened.announceable.begin(),
                                                 screened.announceable.end());
    std::vector<std::string> candidates;
    std::copy_if(gate.passed.begin(), gate.passed.end(), std::back_inserter(candidates),
                 [&](const std::string& page) {
                     return passed.count(page) > 0 || removedItems_.count(page) > 0;
                 });
    return candidates;
}

void AnnounceChanges::Announce(AnnounceOutcome& outcome) {
    const std::vector<std::string> candidates = Checked(outcome);
    if (outcome.cancelled) {
        observer_.RunEnded();
        return;
    }
    const std::vector<std::string> chosen =
        job_.all ? candidates : NewOrChanged(candidates, dates_, now_, outcome.passedOver);
    outcome.passedOver.unchanged += unchangedInHistory_;
    // Google keeps its own work: what it has still to inspect joins what is new or changed,
    // whatever IndexNow has to send.
    std::vector<std::string> forGoogle = chosen;
    if (job_.google.announces() && !job_.all) {
        const std::vector<std::string> pending = stores_.google().Pending();
        const std::unordered_set<std::string> waiting(pending.begin(), pending.end());
        const std::unordered_set<std::string> taken(chosen.begin(), chosen.end());
        for (const std::string& page : candidates) {
            if (waiting.count(page) > 0 && taken.count(page) == 0) {
                forGoogle.push_back(page);
            }
        }
    }
    for (const std::string& page : chosen) {
        const auto known = dates_.find(page);
        const AnnounceReason reason = removedItems_.count(page) > 0 ? AnnounceReason::Removed
                                      : job_.all                    ? AnnounceReason::Asked
                                      : known == dates_.end() || !known->second.lastAnnounced
                                          ? AnnounceReason::New
                                          : AnnounceReason::Changed;
        outcome.chosen.push_back({.address = page, .reason = reason});
    }
    // A page its checks keep from one channel's engines goes to the other's alone.
    const auto keptFrom = [&](Audience audience) {
        return [&, audience](const std::string& page) {
            const auto only = onlyFor_.find(page);
            return only != onlyFor_.end() && (only->second & audience) == 0;
        };
    };
    std::erase_if(forGoogle, keptFrom(kGoogleRobot));
    std::vector<std::string> forIndexNow = chosen;
    std::erase_if(forIndexNow, keptFrom(kIndexNowRobots));
    std::erase_if(forIndexNow, [&](const std::string& page) {
        const std::optional<std::string> host = HostOf(page);
        return host && keyRefused_.count(*host) > 0;
    });
    SubmitJob job{.items = chosen,
                  .errorPageDir = job_.errorPageDir,
                  .classic = false,
                  .indexNow = {.settings = job_.settings},
                  .google = job_.google,
                  .retry = job_.retry,
                  .routing = job_.routing};
    // Only the engines' own channels are taken from the settings: the classic pages never hear
    // of Announce Changes.
    SubmitJob applied;
    ApplyChannelSettings(applied, {.settings = job_.settings, .credentials = job_.credentials});
    job.apis = std::move(applied.apis);
    stores_.Attach(job);
    // An engine's own channel takes, beside what is new or changed, what waited for its quota.
    std::map<std::string, std::vector<std::string>, std::less<>> forApis;
    for (const ChannelKind* kind : AccountKinds()) {
        if (!kind->on(job)) {
            continue;
        }
        std::vector<std::string> pages = chosen;
        if (!job_.all) {
            const std::vector<std::string> pending =
                stores_.quotas().Pending(std::string(kind->name));
            const std::unordered_set<std::string> waiting(pending.begin(), pending.end());
            const std::unordered_set<std::string> taken(chosen.begin(), chosen.end());
            for (const std::string& page : candidates) {
                if (waiting.count(page) > 0 && taken.count(page) == 0) {
                    pages.push_back(page);
                }
            }
        }
        std::erase_if(pages, keptFrom(kind->audience));
        if (!pages.empty()) {
            forApis.emplace(kind->name, std::move(pages));
        }
    }
    if (decideInHistory_) {
        LoadDates(forGoogle);
    }
    if (job_.dryRun || (forGoogle.empty() && forIndexNow.empty() && forApis.empty())) {
        observer_.RunEnded();
        return;
    }
    forApis.emplace(kIndexNowName, std::move(forIndexNow));
    forApis.emplace(kGoogleName, std::move(forGoogle));
    job.plan = RunPlan{.pages = std::move(forApis), .dates = dates_};
    NoPrompt prompt;
    SubmitRun run(std::move(job), prompt, observer_, stop_);
    if (stop_.stop_requested()) {
        outcome.cancelled = true;
        observer_.RunEnded();
        return;
    }
    std::vector<std::string> checkNotes = std::move(outcome.run.notes);
    outcome.run = run.SubmitWorker();
    outcome.run.notes.insert(outcome.run.notes.begin(), std::make_move_iterator(checkNotes.begin()),
                             std::make_move_iterator(checkNotes.end()));
    for (std::string& note : PassedOverNotes(outcome.passedOver)) {
        outcome.run.notes.push_back(std::move(note));
    }
    outcome.cancelled = stop_.stop_requested();
    memory_.HandOn();
}

}  // namespace quaymark
