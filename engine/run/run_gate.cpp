#include "engine/run/run_gate.h"

#include <algorithm>
#include <unordered_map>

#include "base/counted.h"
#include "engine/indexnow/key_check.h"
#include "engine/net/web_address.h"

namespace quaymark {
namespace {

constexpr std::int64_t kDay = 86400;

std::string KeyNote(const std::string& host, std::size_t pages, const KeyCheckRecord& check,
                    const IndexNowSettings& settings) {
    const std::string where = settings.keyLocation.empty()
                                  ? "https://" + host + "/" + settings.key + ".txt"
                                  : settings.keyLocation;
    return host + ": " + Counted(pages, "page", "pages") +
           " not sent through IndexNow: its key file is " + check.words +
           "; serve exactly the key at " + where + " (Check Key in the Channels window tells)";
}

// The hosts' key checks: today's served ones as kept, the others asked again.
std::unordered_map<std::string, KeyCheckRecord> KeyChecks(const std::vector<std::string>& hosts,
                                                          const GateJob& job, RequestLog* log) {
    std::unordered_map<std::string, KeyCheckRecord> checks;
    for (KeyCheckRecord& kept : log != nullptr ? log->KeyChecks() : std::vector<KeyCheckRecord>{}) {
        if (kept.served && kept.key == job.settings->key &&
            kept.checkedAt / kDay == job.now / kDay) {
            checks.emplace(kept.host, std::move(kept));
        }
    }
    std::vector<KeyCheckRecord> fresh;
    const StatusFetcher fetcher(job.routing);
    for (const std::string& host : hosts) {
        if (job.stop.stop_requested()) {
            break;
        }
        if (checks.contains(host)) {
            continue;
        }
        const KeyFileCheck check = CheckKeyFile(fetcher, host, *job.settings);
        KeyCheckRecord record{.host = host,
                              .key = job.settings->key,
                              .checkedAt = job.now,
                              .served = check.verdict == KeyFileCheck::Verdict::Served,
                              .words = KeyCheckText(check)};
        fresh.push_back(record);
        checks.emplace(host, std::move(record));
    }
    if (job.keep && log != nullptr && !fresh.empty()) {
        log->KeepKeyChecks(std::move(fresh));
    }
    return checks;
}

}  // namespace

std::vector<std::string> RunGate::ForIndexNow(const std::vector<std::string>& pages) const {
    std::vector<std::string> sent;
    std::copy_if(pages.begin(), pages.end(), std::back_inserter(sent),
                 [&](const std::string& page) {
                     const std::optional<std::string> host = HostOf(page);
                     return !host || !keyRefused.contains(*host);
                 });
    return sent;
}

RunGate PassGate(const std::vector<std::string>& pages, const GateJob& job, RequestLog* log) {
    GateOutcome gated = GatePages(
        pages, {.letThrough = job.settings->letThrough, .notAnnounced = job.settings->notAnnounced},
        job.routing, job.lookup);
    RunGate gate{.passed = std::move(gated.passed),
                 .leftOut = std::move(gated.leftOut),
                 .notes = std::move(gated.notes)};
    if (!job.indexNow) {
        return gate;
    }
    std::vector<std::string> hosts;
    std::unordered_map<std::string, std::size_t> counts;
    for (const std::string& page : gate.passed) {
        const std::optional<std::string> host = HostOf(page);
        if (!host || std::ranges::find(gated.letThrough, *host) != gated.letThrough.end()) {
            continue;
        }
        if (counts[*host]++ == 0) {
            hosts.push_back(*host);
        }
    }
    const std::unordered_map<std::string, KeyCheckRecord> checks = KeyChecks(hosts, job, log);
    for (const std::string& host : hosts) {
        const auto found = checks.find(host);
        if (found == checks.end()) {
            gate.keyRefused.insert(host);  // cancelled before its check: nothing is sent
            continue;
        }
        const KeyCheckRecord& check = found->second;
        if (!check.served) {
            gate.keyRefused.insert(host);
            gate.leftOut[GateReason::KeyNotServed] += counts.at(host);
            gate.notes.push_back(KeyNote(host, counts.at(host), check, *job.settings));
        }
    }
    return gate;
}

}  // namespace quaymark
