#include "engine/run/page_screen.h"

#include <algorithm>
#include <cmath>

#include "base/counted.h"
#include "engine/check/robots_rules.h"
#include "engine/net/http_text.h"
#include "engine/net/web_address.h"
#include "engine/run/channel_kinds.h"

namespace quaymark {
namespace {

// So many examples of each reason a page was left out; the rest are counted.
constexpr std::size_t kExamples = 3;
// Fewer pages than this say nothing of how a site dates them.
constexpr std::size_t kTrustEvidence = 3;
// A lastmod further ahead than this is in the future, whatever the clocks.
constexpr std::int64_t kFutureSlackSeconds = 24 * 60 * 60;

// Where each page stands with robots.txt: the rules of its site, or why they are not known.
struct SiteRobots {
    RobotsRules rules{};
    std::string failure{};
};

// The path and query the robots.txt rules are matched against.
std::string PathOf(const std::string& address, const std::string& root) {
    return "/" + address.substr(std::min(address.size(), root.size()));
}

// Reads every site's robots.txt once, the Crawl-delays going to the page checks.
std::map<std::string, SiteRobots> ReadSites(PageChecker& checker,
                                            const std::vector<std::string>& roots,
                                            CheckHooks& hooks) {
    std::map<std::string, SiteRobots> sites;
    const std::vector<RobotsAnswer> answers = checker.ReadRobots(roots);
    for (std::size_t i = 0; i < roots.size(); ++i) {
        SiteRobots& site = sites[roots[i]];
        if (!answers[i].failure.empty()) {
            site.failure = "robots.txt could not be read: " + answers[i].failure;
        } else if (answers[i].text) {
            site.rules = RobotsRules::Parse(*answers[i].text);
            if (const std::optional<double> delay = site.rules.crawlDelay(); delay && *delay > 0) {
                hooks.crawlDelays[roots[i]] = std::chrono::milliseconds(std::llround(
                    std::min(*delay, static_cast<double>(kMaxCrawlDelay.count())) * 1000));
            }
        }
    }
    return sites;
}

// The record a check leaves for the next one. A page that could not be checked keeps what its
// last check found; one no longer open keeps its fingerprint, so that its coming back with
// the same text is no change.
PageCheckRecord RecordOf(const PageCheck& check, const PageCheckRecord* last,
                         std::optional<std::int64_t> lastmod, std::int64_t now) {
    PageCheckRecord record{.address = check.address,
                           .verdict = std::string(VerdictWord(check.verdict)),
                           .detail = check.detail,
                           .lastmod = lastmod,
                           .checkedAt = now};
    if (last != nullptr) {
        record.fingerprint = last->fingerprint;
        record.textChangedAt = last->textChangedAt;
    }
    const bool wasGone = last != nullptr && last->verdict == VerdictWord(PageVerdict::Removed);
    switch (check.verdict) {
        case PageVerdict::NotModified:
            record.verdict = VerdictWord(PageVerdict::Indexable);
            record.etag = last->etag;
            record.lastModified = last->lastModified;
            break;
        case PageVerdict::Indexable:
            record.etag = check.etag;
            record.lastModified = check.lastModified;
            if (last != nullptr &&
                (wasGone || (last->fingerprint && *last->fingerprint != check.fingerprint))) {
                record.textChangedAt = now;
            }
            record.fingerprint = check.fingerprint;
            break;
        case PageVerdict::Removed:
            record.fingerprint.reset();
            record.textChangedAt = wasGone ? last->textChangedAt : std::optional(now);
            break;
        case PageVerdict::Failed:
            if (last != nullptr) {
                record.etag = last->etag;
                record.lastModified = last->lastModified;
            }
            break;
        default:
            break;
    }
    // A page that asks one channel's engines alone not to index it is read whole each time:
    // a 304 would not say so again.
    if (check.verdict == PageVerdict::Indexable && check.noindexFor != kNoRobot) {
        record.verdict = VerdictWord(PageVerdict::Noindex);
        record.detail = check.noindexFor == kGoogleRobot ? "for Google's robot"
                                                         : "for the IndexNow engines' robots";
    }
    return record;
}

// Whether a site's lastmods tell when its pages change, from the pages checked now: all the
// same, some in the future, or renewed while the text stayed as it was, and they are not.
// Once not trusted they stay so until pages whose lastmod moved had their text change too.
LastmodTrust JudgeLastmods(const std::string& site, const std::vector<PageCheckRecord>& now,
                           const std::unordered_map<std::string, PageCheckRecord>& last,
                           const LastmodTrust& before, std::int64_t time) {
    std::vector<std::int64_t> lastmods;
    std::size_t moved = 0;
    std::size_t movedAlone = 0;
    for (const PageCheckRecord& record : now) {
        if (!record.lastmod) {
            continue;
        }
        lastmods.push_back(*record.lastmod);
        const auto earlier = last.find(record.address);
        if (earlier == last.end() || !earlier->second.lastmod || !earlier->second.fingerprint ||
            !record.fingerprint || *record.lastmod <= *earlier->second.lastmod) {
            continue;
        }
        ++moved;
        if (*earlier->second.fingerprint == *record.fingerprint) {
            ++movedAlone;
        }
    }
    LastmodTrust judged{.site = site};
    if (std::any_of(lastmods.begin(), lastmods.end(),
                    [&](std::int64_t lastmod) { return lastmod > time + kFutureSlackSeconds; })) {
        judged = {.site = site, .trusted = false, .reason = "some lie in the future"};
    } else if (lastmods.size() >= kTrustEvidence &&
               std::all_of(lastmods.begin(), lastmods.end(),
                           [&](std::int64_t lastmod) { return lastmod == lastmods.front(); })) {
        judged = {.site = site, .trusted = false, .reason = "every page has the same one"};
    } else if (movedAlone >= kTrustEvidence && movedAlone * 10 >= moved * 9) {
        judged = {.site = site, .trusted = false, .reason = "they move while the text stays"};
    } else if (!before.trusted && !(moved >= kTrustEvidence && movedAlone * 10 <= moved)) {
        judged = before;
    }
    return judged;
}

std::string Example(const PageCheck& check) {
    return check.detail.empty() ? check.address : check.address + " (" + check.detail + ")";
}

// One note for each reason pages were left out, with a few of them; for one channel's engines
// alone, the note names the channel.
std::vector<std::string> LeftOutNotes(const std::vector<PageCheck>& left,
                                      std::string_view channel = {}) {
    std::map<PageVerdict, std::vector<const PageCheck*>> byVerdict;
    for (const PageCheck& check : left) {
        byVerdict[check.verdict].push_back(&check);
    }
    std::vector<std::string> notes;
    for (const auto& [verdict, checks] : byVerdict) {
        std::string note = "Not announced" +
                           (channel.empty() ? std::string() : " to " + std::string(channel)) +
                           ", " + std::string(VerdictWord(verdict)) + ": " +
                           Counted(checks.size(), "page", "pages") + ", ";
        for (std::size_t i = 0; i < std::min(kExamples, checks.size()); ++i) {
            note += (i > 0 ? "; " : "") + Example(*checks[i]);
        }
        if (checks.size() > kExamples) {
            note += " and " + std::to_string(checks.size() - kExamples) + " more";
        }
        notes.push_back(note + ".");
    }
    return notes;
}

}  // namespace

std::vector<std::string> ScreenOutcome::AnnounceableTo(Audience audience) const {
    std::vector<std::string> pages;
    std::copy_if(announceable.begin(), announceable.end(), std::back_inserter(pages),
                 [&](const std::string& page) {
                     const auto only = onlyFor.find(page);
                     return only == onlyFor.end() || (only->second & audience) != 0;
                 });
    return pages;
}

std::string LeftOutByChecks(const std::map<PageVerdict, std::size_t>& leftOut) {
    return CountedReasons(leftOut, VerdictWord, "left out by their checks");
}

ScreenOutcome ScreenPages(const std::vector<std::string>& pages,
                          std::unordered_map<std::string, PageDates>& dates, const ScreenJob& job,
                          RequestLog* log, RunObserver& observer, std::stop_token stop) {
    ScreenOutcome outcome;
    const std::unordered_map<std::string, PageCheckRecord> last =
        log != nullptr ? log->PageChecks() : std::unordered_map<std::string, PageCheckRecord>{};
    std::map<std::string, LastmodTrust> trust;
    for (LastmodTrust& site : log != nullptr ? log->LastmodTrusts() : std::vector<LastmodTrust>{}) {
        trust[site.site] = std::move(site);
    }

    // Each page's site; a page with none is no web address, left for the channel to tell.
    std::vector<std::string> roots;
    std::vector<std::string> rootOf(pages.size());
    for (std::size_t i = 0; i < pages.size(); ++i) {
        rootOf[i] = SiteRoot(pages[i]).value_or("");
        if (!rootOf[i].empty() && std::find(roots.begin(), roots.end(), rootOf[i]) == roots.end()) {
            roots.push_back(rootOf[i]);
        }
    }
    observer.RunStarted(static_cast<int>(pages.size() + roots.size()), 1, 0);
    observer.EngineStarted(kCheckingPagesName);
    PageChecker checker(job.routing, job.limits, stop);
    CheckHooks hooks;
    const std::map<std::string, SiteRobots> sites = ReadSites(checker, roots, hooks);
    for (std::size_t i = 0; i < roots.size(); ++i) {
        observer.RequestDone();
    }

    std::vector<PageCheck> checks(pages.size());
    // Whose robots robots.txt keeps from each page; one it keeps from every robot is not fetched.
    std::vector<Audience> disallowed(pages.size(), kNoRobot);
    std::vector<PageCheckRequest> requests;
    std::vector<std::size_t> requested;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        checks[i].address = pages[i];
        if (rootOf[i].empty()) {
            continue;
        }
        const SiteRobots& site = sites.at(rootOf[i]);
        if (!site.failure.empty()) {
            checks[i].detail = site.failure;
        } else if ((disallowed[i] = site.rules.KeptFrom(PathOf(pages[i], rootOf[i]))) ==
                   kEveryRobot) {
            checks[i].verdict = PageVerdict::Disallowed;
        } else {
            // Validators only where the last check kept a fingerprint to stand for the page.
            const auto known = last.find(pages[i]);
            const bool usable = known != last.end() && known->second.fingerprint &&
                                known->second.verdict == VerdictWord(PageVerdict::Indexable);
            requests.push_back({.address = pages[i],
                                .etag = usable ? known->second.etag : "",
                                .lastModified = usable ? known->second.lastModified : ""});
            requested.push_back(i);
        }
    }
    hooks.done = [&](const PageCheck& check) {
        observer.AddressStarted(check.address);
        observer.RequestDone();
    };
    std::vector<PageCheck> fetched = checker.Check(requests, hooks);
    for (std::size_t i = 0; i < fetched.size(); ++i) {
        checks[requested[i]] = std::move(fetched[i]);
    }
    outcome.cancelled = stop.stop_requested();

    // What each check leaves, and each site's lastmods judged from its pages.
    std::vector<PageCheckRecord> records;
    std::map<std::string, std::vector<PageCheckRecord>> bySite;
    std::vector<PageCheck> left;
    std::vector<PageCheck> leftByGoogle;
    std::vector<PageCheck> leftByIndexNow;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        PageCheck& check = checks[i];
        if (rootOf[i].empty()) {
            outcome.announceable.push_back(pages[i]);
            continue;
        }
        if (outcome.cancelled && check.verdict == PageVerdict::Failed) {
            continue;  // not checked: nothing to keep or to tell
        }
        const auto known = last.find(pages[i]);
        if (check.verdict == PageVerdict::NotModified &&
            (known == last.end() || !known->second.fingerprint)) {
            check.verdict = PageVerdict::Failed;  // a 304 unasked says nothing of the page
            check.detail = "answered 304 to a plain request";
        }
        const auto dated = dates.find(pages[i]);
        records.push_back(RecordOf(check, known != last.end() ? &known->second : nullptr,
                                   dated != dates.end() ? dated->second.lastmod : std::nullopt,
                                   job.now));
        bySite[rootOf[i]].push_back(records.back());
        if (records.back().textChangedAt) {
            dates[pages[i]].textChanged = records.back().textChangedAt;
        }
        // A page robots.txt or its directives keep from one channel's engines alone is
        // announced through the other's; one kept from both is left out.
        const bool open =
            check.verdict == PageVerdict::Indexable || check.verdict == PageVerdict::NotModified;
        const Audience noindex = open ? check.noindexFor : kNoRobot;
        const Audience kept =
            open || check.verdict == PageVerdict::Removed ? disallowed[i] | noindex : kNoRobot;
        if (kept == kEveryRobot) {
            check.verdict = noindex != kNoRobot ? PageVerdict::Noindex : PageVerdict::Disallowed;
        } else if (kept != kNoRobot) {
            PageCheck leftOut = check;
            leftOut.verdict = noindex != kNoRobot ? PageVerdict::Noindex : PageVerdict::Disallowed;
            (kept == kGoogleRobot ? leftByGoogle : leftByIndexNow).push_back(std::move(leftOut));
            outcome.onlyFor[pages[i]] = kEveryRobot & ~kept;
        }
        if (check.verdict == PageVerdict::Indexable || check.verdict == PageVerdict::NotModified) {
            outcome.announceable.push_back(pages[i]);
        } else if (check.verdict == PageVerdict::Removed) {
            outcome.announceable.push_back(pages[i]);
            outcome.removed.insert(pages[i]);
        } else {
            ++outcome.leftOut[check.verdict];
            left.push_back(check);
        }
    }
    outcome.notes = LeftOutNotes(left);
    // Each note names the channel whose robots the pages keep out.
    for (const auto& [audience, kept] :
         {std::pair(kGoogleRobot, &leftByGoogle), std::pair(kIndexNowRobots, &leftByIndexNow)}) {
        const auto kind = std::ranges::find(ChannelKinds(), audience, &ChannelKind::audience);
        for (std::string& note : LeftOutNotes(*kept, kind->name)) {
            outcome.notes.push_back(std::move(note));
        }
    }

    std::vector<LastmodTrust> judged;
    for (const auto& [site, siteRecords] : bySite) {
        const auto before = trust.find(site);
        const LastmodTrust earlier =
            before != trust.end() ? before->second : LastmodTrust{.site = site};
        LastmodTrust now = JudgeLastmods(site, siteRecords, last, earlier, job.now);
        if (earlier.trusted && !now.trusted) {
            outcome.notes.push_back(site + ": the sitemap's lastmods are not trusted (" +
                                    now.reason + "); only changes to the pages' text count.");
        }
        if (now != earlier) {
            judged.push_back(now);
        }
        trust[site] = std::move(now);
    }
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (const auto site = trust.find(rootOf[i]); site != trust.end() && !site->second.trusted) {
            dates[pages[i]].lastmodTrusted = false;
        }
    }
    if (job.keep && log != nullptr) {
        log->KeepChecks(std::move(records), std::move(judged));
    }
    return outcome;
}

}  // namespace quaymark
