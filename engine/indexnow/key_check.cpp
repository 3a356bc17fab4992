#include "engine/indexnow/key_check.h"

#include <algorithm>
#include <optional>

#include "engine/net/web_address.h"

namespace quaymark {
namespace {

std::string KeyFilePath(const IndexNowSettings& settings, std::string_view host) {
    if (!settings.keyLocation.empty() && HostOf(settings.keyLocation) == host) {
        return settings.keyLocation;
    }
    return "https://" + std::string(host) + "/" + settings.key + ".txt";
}

bool HoldsExactlyTheKey(std::string body, std::string_view key) {
    while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) {
        body.pop_back();
    }
    return body == key;
}

}  // namespace

KeyFileCheck CheckKeyFile(const StatusFetcher& fetcher, std::string_view host,
                          const IndexNowSettings& settings) {
    using Verdict = KeyFileCheck::Verdict;
    const std::string url = KeyFilePath(settings, host);
    const StatusAnswer answer = fetcher.Get(url);
    if (answer.status == 200) {
        return {.verdict = HoldsExactlyTheKey(answer.body, settings.key) ? Verdict::Served
                                                                         : Verdict::OtherContent};
    }
    if (answer.status >= 300 && answer.status < 400) {
        return {.verdict = Verdict::Redirected, .location = answer.location};
    }
    if (answer.failure.kind == TransferFailure::Kind::Untrusted) {
        return {.verdict = Verdict::Untrusted};
    }
    // The engines fetch the key file over https only: one served over http alone is no proof.
    const StatusAnswer plain =
        fetcher.Get("http://" + url.substr(std::string_view("https://").size()));
    if (plain.status == 200 && HoldsExactlyTheKey(plain.body, settings.key)) {
        return {.verdict = Verdict::OnlyOverHttp};
    }
    if (answer.status == 404) {
        return {.verdict = Verdict::NotFound};
    }
    if (answer.status == 0) {
        return {.verdict = Verdict::NoAnswer, .failure = answer.failure};
    }
    return {.verdict = Verdict::Answered, .status = answer.status};
}

std::string KeyCheckText(const KeyFileCheck& check) {
    using Verdict = KeyFileCheck::Verdict;
    switch (check.verdict) {
        case Verdict::Served:
            return "served exactly";
        case Verdict::OtherContent:
            return "served with other content";
        case Verdict::Redirected:
            return "redirected to " + check.location;
        case Verdict::Untrusted:
            return "certificate not trusted";
        case Verdict::OnlyOverHttp:
            return "served only over http";
        case Verdict::NotFound:
            return "not found (404)";
        case Verdict::NoAnswer:
            return "could not connect (" + Describe(check.failure) + ")";
        case Verdict::Answered:
            break;
    }
    return "answered " + std::to_string(check.status);
}

bool KeyLocationCovers(std::string_view keyLocation, std::string_view address) {
    const std::optional<WebAddress> location = ParseWebAddress(keyLocation);
    const std::optional<WebAddress> page = ParseWebAddress(address);
    if (!location || !page || location->host != page->host) {
        return false;
    }
    // The key file's folder, compared with the address's own path.
    const std::string_view folder =
        std::string_view(location->path).substr(0, location->path.rfind('/') + 1);
    return page->path.rfind(folder, 0) == 0;
}

std::vector<std::string> HostsOf(const std::vector<std::string>& addresses) {
    std::vector<std::string> hosts;
    for (const std::string& address : addresses) {
        std::optional<std::string> host = HostOf(address);
        if (host && std::find(hosts.begin(), hosts.end(), *host) == hosts.end()) {
            hosts.push_back(std::move(*host));
        }
    }
    return hosts;
}

KeyCheckReport CheckKeys(const StatusFetcher& fetcher, const std::vector<std::string>& addresses,
                         const IndexNowSettings& settings) {
    KeyCheckReport report;
    for (std::string& host : HostsOf(addresses)) {
        KeyFileCheck check = CheckKeyFile(fetcher, host, settings);
        report.hosts.push_back({.host = std::move(host), .check = std::move(check)});
    }
    if (!settings.keyLocation.empty()) {
        const std::optional<std::string> locationHost = HostOf(settings.keyLocation);
        for (const std::string& address : addresses) {
            if (HostOf(address) == locationHost &&
                !KeyLocationCovers(settings.keyLocation, address)) {
                report.uncovered.push_back(address);
            }
        }
    }
    return report;
}

}  // namespace quaymark
