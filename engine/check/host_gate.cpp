#include "engine/check/host_gate.h"

#include <arpa/inet.h>
#include <fnmatch.h>
#include <netinet/in.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "base/counted.h"
#include "engine/net/ares_wait.h"
#include "engine/net/web_address.h"

namespace quaymark {
namespace {

// The names no public site can have (RFC 6761, RFC 8375, and .internal, kept for private use).
constexpr std::string_view kSpecialUse[] = {"localhost", "local",    "test",     "example",
                                            "invalid",   "internal", "home.arpa"};

bool UnderSpecialUse(std::string_view host) {
    return std::any_of(std::begin(kSpecialUse), std::end(kSpecialUse), [&](std::string_view name) {
        return host == name || (host.size() > name.size() && host.ends_with(name) &&
                                host[host.size() - name.size() - 1] == '.');
    });
}

struct Range {
    std::array<unsigned char, 16> prefix;
    int bits;
};

bool InRange(const unsigned char* address, const Range& range) {
    const int whole = range.bits / 8;
    if (std::memcmp(address, range.prefix.data(), static_cast<std::size_t>(whole)) != 0) {
        return false;
    }
    const int rest = range.bits % 8;
    const auto mask = static_cast<unsigned char>(0xff << (8 - rest));
    return rest == 0 ||
           (address[whole] & mask) == (range.prefix[static_cast<std::size_t>(whole)] & mask);
}

bool LocalV4(const unsigned char* a) {
    static constexpr Range kRanges[] = {
        {{0}, 8},              // this network
        {{10}, 8},             // private
        {{100, 64}, 10},       // shared (carrier-grade NAT)
        {{127}, 8},            // loopback
        {{169, 254}, 16},      // link-local
        {{172, 16}, 12},       // private
        {{192, 0, 2}, 24},     // documentation
        {{192, 168}, 16},      // private
        {{198, 51, 100}, 24},  // documentation
        {{203, 0, 113}, 24},   // documentation
    };
    return std::any_of(std::begin(kRanges), std::end(kRanges),
                       [&](const Range& range) { return InRange(a, range); });
}

bool LocalV6(const unsigned char* a) {
    static constexpr Range kRanges[] = {
        {{}, 128},                                                // unspecified
        {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 128},  // loopback
        {{0xfc}, 7},                                              // unique local
        {{0xfe, 0x80}, 10},                                       // link-local
        {{0x20, 0x01, 0x0d, 0xb8}, 32},                           // documentation
    };
    static constexpr Range kMapped{{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff}, 96};
    if (InRange(a, kMapped)) {
        return LocalV4(a + 12);
    }
    return std::any_of(std::begin(kRanges), std::end(kRanges),
                       [&](const Range& range) { return InRange(a, range); });
}

struct Lookup {
    std::vector<std::string> addresses{};
    bool done = false;
};

void Resolved(void* arg, int status, int /*timeouts*/, ares_addrinfo* result) {
    auto& lookup = *static_cast<Lookup*>(arg);
    lookup.done = true;
    for (const ares_addrinfo_node* node =
             status == ARES_SUCCESS && result != nullptr ? result->nodes : nullptr;
         node != nullptr; node = node->ai_next) {
        std::array<char, INET6_ADDRSTRLEN> text{};
        const void* bytes =
            node->ai_family == AF_INET
                ? static_cast<const void*>(
                      &reinterpret_cast<const sockaddr_in*>(node->ai_addr)->sin_addr)
                : static_cast<const void*>(
                      &reinterpret_cast<const sockaddr_in6*>(node->ai_addr)->sin6_addr);
        if (inet_ntop(node->ai_family, bytes, text.data(), text.size()) != nullptr) {
            lookup.addresses.emplace_back(text.data());
        }
    }
    ares_freeaddrinfo(result);
}

struct ChannelCloser {
    void operator()(ares_channel channel) const { ares_destroy(channel); }
};

std::string_view Bare(std::string_view host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        return host.substr(1, host.size() - 2);
    }
    return host;
}

bool IsLiteral(std::string_view host) {
    const std::string bare(Bare(host));
    std::array<unsigned char, 16> bytes{};
    return inet_pton(AF_INET, bare.c_str(), bytes.data()) == 1 ||
           inet_pton(AF_INET6, bare.c_str(), bytes.data()) == 1;
}

std::string HostNote(const std::string& host, std::size_t pages, const HostVerdict& verdict) {
    return host + ": " + Counted(pages, "page", "pages") + " not announced (" +
           std::string(GateWord(*verdict.reason)) + ")";
}

std::string LetThroughNote(const std::string& host, std::size_t pages, const HostVerdict& verdict) {
    return host + " (" +
           (verdict.reason ? std::string(GateWord(*verdict.reason)) + ", " : std::string()) +
           Counted(pages, "page", "pages") + ")";
}

// Why a host cannot be a public site, as far as its name tells; whether the DNS is to be asked.
// A host let through is asked nothing of the DNS: the user vouched for it.
struct NameVerdict {
    HostVerdict verdict{};
    bool askDns = false;
};

NameVerdict JudgeName(std::string_view host, const GateRules& rules) {
    const auto any = [&](const std::vector<std::string>& patterns) {
        return std::any_of(patterns.begin(), patterns.end(),
                           [&](const std::string& pattern) { return HostMatches(pattern, host); });
    };
    if (any(rules.notAnnounced)) {
        return {.verdict = {.reason = GateReason::NotForAnnouncing}};
    }
    const bool letThrough = any(rules.letThrough);
    const auto with = [&](std::optional<GateReason> reason) {
        return NameVerdict{.verdict = {.reason = reason, .letThrough = letThrough}};
    };
    if (IsLiteral(host)) {
        return with(IsLocalAddress(host) ? std::optional(GateReason::LocalAddress) : std::nullopt);
    }
    if (UnderSpecialUse(host)) {
        return with(GateReason::SpecialUse);
    }
    if (host.find('.') == std::string_view::npos) {
        return with(GateReason::BareName);
    }
    return {.verdict = {.letThrough = letThrough}, .askDns = !letThrough};
}

// A host the DNS gives only local addresses for.
void Answered(HostVerdict& verdict, const HostAnswers& answers, const std::string& host) {
    const auto found = answers.find(host);
    if (found != answers.end() && !found->second.empty() &&
        std::all_of(found->second.begin(), found->second.end(),
                    [](const std::string& address) { return IsLocalAddress(address); })) {
        verdict.reason = GateReason::LocalAnswers;
    }
}

}  // namespace

std::string_view GateWord(GateReason reason) {
    switch (reason) {
        case GateReason::NotForAnnouncing:
            return "not for announcing";
        case GateReason::SpecialUse:
            return "special-use name";
        case GateReason::BareName:
            return "name without a dot";
        case GateReason::LocalAddress:
            return "local address";
        case GateReason::LocalAnswers:
            return "only local addresses in the DNS";
        case GateReason::KeyNotServed:
            return "IndexNow key not served";
    }
    return "";
}

bool HostMatches(std::string_view pattern, std::string_view host) {
    return ::fnmatch(std::string(pattern).c_str(), std::string(Bare(host)).c_str(), FNM_CASEFOLD) ==
           0;
}

std::optional<std::string> TakenHostPattern(std::string_view given) {
    std::string pattern;
    for (const char c : given) {
        const auto byte = static_cast<unsigned char>(c);
        const bool allowed = (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
                             c == '.' || c == '-' || c == '*' || c == ':' || c == '_' ||
                             (byte >= 'A' && byte <= 'Z');
        if (!allowed) {
            return std::nullopt;
        }
        pattern += static_cast<char>(std::tolower(byte));
    }
    if (pattern.empty() || pattern.size() > 253) {
        return std::nullopt;
    }
    return pattern;
}

bool IsLocalAddress(std::string_view address) {
    const std::string bare(Bare(address));
    std::array<unsigned char, 16> bytes{};
    if (inet_pton(AF_INET, bare.c_str(), bytes.data()) == 1) {
        return LocalV4(bytes.data());
    }
    return inet_pton(AF_INET6, bare.c_str(), bytes.data()) == 1 && LocalV6(bytes.data());
}

HostAnswers HostAddresses(const std::vector<std::string>& hosts, const RunRouting& routing) {
    HostAnswers answers;
    if (hosts.empty()) {
        return answers;
    }
    InitialiseAres();
    ares_options options{};
    options.timeout = 2000;
    options.tries = 2;
    char lookups[] = "b";  // the DNS alone: /etc/hosts is this machine's word, not the engines'
    options.lookups = lookups;
    ares_channel raw = nullptr;
    int status =
        ares_init_options(&raw, &options, ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES | ARES_OPT_LOOKUPS);
    const std::unique_ptr<ares_channeldata, ChannelCloser> channel(raw);
    if (status == ARES_SUCCESS && !routing.nameServer.empty()) {
        status = ares_set_servers_ports_csv(channel.get(), routing.nameServer.c_str());
    }
    if (status != ARES_SUCCESS) {
        return answers;
    }
    // Each lookup's own place, which the callback fills; a map keeps it where it is.
    std::map<std::string, Lookup> asked;
    ares_addrinfo_hints hints{};
    hints.ai_family = AF_UNSPEC;
    for (const std::string& host : hosts) {
        Lookup& lookup = asked[host];
        ares_getaddrinfo(channel.get(), host.c_str(), nullptr, &hints, &Resolved, &lookup);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    const auto pending = [&] {
        return std::any_of(asked.begin(), asked.end(),
                           [](const auto& lookup) { return !lookup.second.done; });
    };
    while (pending() && std::chrono::steady_clock::now() < deadline) {
        AwaitAres(channel.get(), deadline);
    }
    ares_cancel(channel.get());  // what is left answers nothing
    for (auto& [host, lookup] : asked) {
        answers.emplace(host, std::move(lookup.addresses));
    }
    return answers;
}

HostVerdict JudgeHost(std::string_view host, const GateRules& rules, const RunRouting& routing,
                      AddressLookup lookup) {
    NameVerdict named = JudgeName(host, rules);
    if (named.askDns) {
        const std::string name(host);
        Answered(named.verdict, lookup({name}, routing), name);
    }
    return named.verdict;
}

GateOutcome GatePages(const std::vector<std::string>& pages, const GateRules& rules,
                      const RunRouting& routing, AddressLookup lookup) {
    GateOutcome outcome;
    std::vector<std::string> hosts;
    std::unordered_map<std::string, HostVerdict> verdicts;
    std::unordered_map<std::string, std::size_t> counts;
    std::vector<std::string> asked;
    std::vector<std::optional<std::string>> hostOf;
    hostOf.reserve(pages.size());
    for (const std::string& page : pages) {
        std::optional<std::string> host = HostOf(page);
        if (host && !verdicts.contains(*host)) {
            NameVerdict named = JudgeName(*host, rules);
            if (named.askDns) {
                asked.push_back(*host);
            }
            verdicts.emplace(*host, named.verdict);
            hosts.push_back(*host);
        }
        if (host) {
            ++counts[*host];
        }
        hostOf.push_back(std::move(host));
    }
    const HostAnswers answers = lookup(asked, routing);
    for (const std::string& host : asked) {
        Answered(verdicts.at(host), answers, host);
    }
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const HostVerdict* verdict = hostOf[i] ? &verdicts.at(*hostOf[i]) : nullptr;
        if (verdict == nullptr || verdict->letThrough || !verdict->reason) {
            outcome.passed.push_back(pages[i]);
        } else {
            ++outcome.leftOut[*verdict->reason];
        }
    }
    std::string letThrough;
    for (const std::string& host : hosts) {
        const HostVerdict& verdict = verdicts.at(host);
        if (verdict.letThrough) {
            outcome.letThrough.push_back(host);
            letThrough +=
                (letThrough.empty() ? "" : ", ") + LetThroughNote(host, counts.at(host), verdict);
        } else if (verdict.reason) {
            outcome.notes.push_back(HostNote(host, counts.at(host), verdict));
        }
    }
    if (!letThrough.empty()) {
        outcome.notes.push_back("Let through the gate by the settings: " + letThrough + ".");
    }
    return outcome;
}

std::string LeftOutByGate(const std::map<GateReason, std::size_t>& leftOut) {
    return CountedReasons(leftOut, GateWord, "left out by the gate");
}

}  // namespace quaymark
