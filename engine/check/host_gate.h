#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/net/transfer_options.h"

namespace quaymark {

// Why the gate keeps a host's pages from the modern channels, in the order the gate asks.
enum class GateReason : std::uint8_t {
    NotForAnnouncing,  // a pattern the user named (staging.*, *.netlify.app)
    SpecialUse,        // localhost, .local, .test, .example, .invalid, .internal, .home.arpa
    BareName,          // no dot: a name only a local network knows
    LocalAddress,      // a private, loopback, link-local or documentation address
    LocalAnswers,      // a name whose every DNS answer is such an address
    KeyNotServed,      // IndexNow's key file not served exactly (IndexNow alone)
};
// The run's word for a reason: "special-use name", "not for announcing", ...
std::string_view GateWord(GateReason reason);

// What the user told the gate: hosts let through whatever they are, and hosts never announced.
// Each is a host or a pattern whose "*" stands for any run of characters ("*" alone is every
// host).
struct GateRules {
    std::vector<std::string> letThrough{};
    std::vector<std::string> notAnnounced{};
};
bool HostMatches(std::string_view pattern, std::string_view host);
// A pattern as the settings keep it: lower case, no blank, no scheme or path; nothing when
// what is given is none.
std::optional<std::string> TakenHostPattern(std::string_view given);

// A literal address (IPv4, or IPv6 with or without brackets) that no public site answers on.
bool IsLocalAddress(std::string_view address);

// The addresses the DNS gives for each host, all asked at once (of routing.nameServer when a
// test names one) and bounded in time together; none for a host whose name has none or whose
// lookup failed (the gate then lets it by, its own request telling the rest).
using HostAnswers = std::map<std::string, std::vector<std::string>, std::less<>>;
HostAnswers HostAddresses(const std::vector<std::string>& hosts, const RunRouting& routing);

// One host judged: why it is kept back, if it is, and whether the rules let it through (a host
// let through is asked nothing more, its key check included).
struct HostVerdict {
    std::optional<GateReason> reason{};
    bool letThrough = false;
};
using AddressLookup = HostAnswers (*)(const std::vector<std::string>&, const RunRouting&);
HostVerdict JudgeHost(std::string_view host, const GateRules& rules, const RunRouting& routing,
                      AddressLookup lookup = HostAddresses);

// The pages of a run through the gate, in their order: those of the hosts it lets by (pages
// that are no web address among them, for their channel to tell of), how many it kept back
// by reason, and a note for each host kept back or let through.
struct GateOutcome {
    std::vector<std::string> passed{};
    std::map<GateReason, std::size_t> leftOut{};
    std::vector<std::string> notes{};
    // The hosts the rules let through, which nothing more is asked of.
    std::vector<std::string> letThrough{};
};
GateOutcome GatePages(const std::vector<std::string>& pages, const GateRules& rules,
                      const RunRouting& routing, AddressLookup lookup = HostAddresses);

// What the gate left out, as the run's summary gives it: "3 left out by the gate (2 special-use
// name, 1 not for announcing)"; empty when it left none.
std::string LeftOutByGate(const std::map<GateReason, std::size_t>& leftOut);

}  // namespace quaymark
