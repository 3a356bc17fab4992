#include "engine/crawl/robot_check.h"

#include "engine/net/ares_wait.h"

#include <ares.h>
#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <netdb.h>
#include <poll.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>

namespace quaymark {
namespace {

struct BinaryAddress {
    int family = AF_UNSPEC;
    std::array<unsigned char, 16> bytes{};
    std::size_t size() const { return family == AF_INET ? 4 : 16; }
};

bool ParseAddress(const std::string& text, BinaryAddress& address) {
    if (inet_pton(AF_INET, text.c_str(), address.bytes.data()) == 1) {
        address.family = AF_INET;
        return true;
    }
    if (inet_pton(AF_INET6, text.c_str(), address.bytes.data()) == 1) {
        address.family = AF_INET6;
        return true;
    }
    return false;
}

// The name a PTR question asks for: the address's bytes (or nibbles) backwards.
std::string ReverseName(const BinaryAddress& address) {
    std::string name;
    if (address.family == AF_INET) {
        for (int i = 3; i >= 0; --i) {
            name += std::to_string(address.bytes[static_cast<std::size_t>(i)]) + '.';
        }
        return name + "in-addr.arpa";
    }
    static constexpr char kHex[] = "0123456789abcdef";
    for (int i = 15; i >= 0; --i) {
        const unsigned char byte = address.bytes[static_cast<std::size_t>(i)];
        name += {kHex[byte & 0xf], '.', kHex[byte >> 4], '.'};
    }
    return name + "ip6.arpa";
}

struct HostFree {
    void operator()(hostent* host) const { ares_free_hostent(host); }
};

// A lost answer (timeout, refused, server failure) decides nothing; only "no such name" does.
RobotVerdict WhenNoAnswer(int status) {
    return status == ARES_ENOTFOUND || status == ARES_ENODATA ? RobotVerdict::False
                                                              : RobotVerdict::Unknown;
}

class Verifier;

struct Lookup {
    Verifier* verifier;
    const RobotClaim* claim;
    BinaryAddress address;
};

class Verifier {
public:
    Verifier(ares_channel channel, const DnsLimits& limits, RobotChecks& checks)
        : channel_(channel), limits_(limits), checks_(checks) {}

    void Run(const std::vector<const RobotClaim*>& claims) {
        std::deque<const RobotClaim*> waiting(claims.begin(), claims.end());
        const auto deadline = std::chrono::steady_clock::now() + limits_.overall;
        while (!waiting.empty() || inFlight_ > 0) {
            while (!waiting.empty() && inFlight_ < std::max<std::size_t>(limits_.inFlight, 1)) {
                Start(*waiting.front());
                waiting.pop_front();
            }
            if (inFlight_ == 0) {
                continue;
            }
            if (std::chrono::steady_clock::now() >= deadline || limits_.stop.stop_requested()) {
                ares_cancel(channel_);  // their callbacks leave them Unknown
                for (const RobotClaim* claim : waiting) {
                    checks_.verdicts.emplace(claim->address, RobotVerdict::Unknown);
                }
                return;
            }
            Wait(deadline);
        }
    }

private:
    void Start(const RobotClaim& claim) {
        auto lookup =
            std::make_unique<Lookup>(Lookup{.verifier = this, .claim = &claim, .address = {}});
        if (!ParseAddress(claim.address, lookup->address)) {
            checks_.verdicts[claim.address] = RobotVerdict::False;
            return;
        }
        Begin();
        const Lookup& l = *lookup;
        ares_query(channel_, ReverseName(l.address).c_str(), ns_c_in, ns_t_ptr, &Verifier::Reversed,
                   lookup.release());
    }

    void Begin() { checks_.peakInFlight = std::max(checks_.peakInFlight, ++inFlight_); }

    void Decide(const Lookup& lookup, RobotVerdict verdict) {
        checks_.verdicts[lookup.claim->address] = verdict;
        --inFlight_;
    }

    static void Reversed(void* arg, int status, int, unsigned char* answer, int length) {
        std::unique_ptr<Lookup> lookup(static_cast<Lookup*>(arg));
        Verifier& self = *lookup->verifier;
        const BinaryAddress& address = lookup->address;
        hostent* host = nullptr;
        if (status == ARES_SUCCESS) {
            status = ares_parse_ptr_reply(answer, length, address.bytes.data(),
                                          static_cast<int>(address.size()), address.family, &host);
        }
        const std::unique_ptr<hostent, HostFree> held(host);
        if (status != ARES_SUCCESS || host == nullptr || host->h_name == nullptr) {
            self.Decide(*lookup, WhenNoAnswer(status));
            return;
        }
        const std::string name = host->h_name;
        if (!InRobotDomain(*lookup->claim->robot, name)) {
            self.Decide(*lookup, RobotVerdict::False);
            return;
        }
        // The name must lead back to the address, or anyone's PTR could name the engine.
        ares_query(self.channel_, name.c_str(), ns_c_in,
                   address.family == AF_INET ? ns_t_a : ns_t_aaaa, &Verifier::Forwarded,
                   lookup.release());
    }

    static void Forwarded(void* arg, int status, int, unsigned char* answer, int length) {
        std::unique_ptr<Lookup> lookup(static_cast<Lookup*>(arg));
        Verifier& self = *lookup->verifier;
        const BinaryAddress& want = lookup->address;
        hostent* host = nullptr;
        if (status == ARES_SUCCESS) {
            status = want.family == AF_INET
                         ? ares_parse_a_reply(answer, length, &host, nullptr, nullptr)
                         : ares_parse_aaaa_reply(answer, length, &host, nullptr, nullptr);
        }
        const std::unique_ptr<hostent, HostFree> held(host);
        if (status != ARES_SUCCESS || host == nullptr) {
            self.Decide(*lookup, WhenNoAnswer(status));
            return;
        }
        bool back = false;
        for (char** a = host->h_addr_list; a != nullptr && *a != nullptr && !back; ++a) {
            back = host->h_addrtype == want.family &&
                   std::memcmp(*a, want.bytes.data(), want.size()) == 0;
        }
        self.Decide(*lookup, back ? RobotVerdict::Verified : RobotVerdict::False);
    }

    void Wait(std::chrono::steady_clock::time_point deadline) { AwaitAres(channel_, deadline); }

    ares_channel channel_;
    const DnsLimits& limits_;
    RobotChecks& checks_;
    std::size_t inFlight_ = 0;
};

struct ChannelCloser {
    void operator()(ares_channel channel) const { ares_destroy(channel); }
};

}  // namespace

RobotChecks VerifyRobots(const std::vector<RobotClaim>& claims, const DnsLimits& limits) {
    RobotChecks checks;
    InitialiseAres();
    ares_options options{};
    options.timeout = static_cast<int>(limits.perTry.count());
    options.tries = std::max(limits.tries, 1);
    char lookups[] = "b";  // the DNS alone: /etc/hosts is no engine's word
    options.lookups = lookups;
    ares_channel raw = nullptr;
    int status =
        ares_init_options(&raw, &options, ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES | ARES_OPT_LOOKUPS);
    std::unique_ptr<ares_channeldata, ChannelCloser> channel(raw);
    if (status == ARES_SUCCESS && !limits.server.empty()) {
        status = ares_set_servers_ports_csv(channel.get(), limits.server.c_str());
    }
    if (status != ARES_SUCCESS) {
        checks.failure = ares_strerror(status);
        return checks;
    }
    std::vector<const RobotClaim*> distinct;
    std::unordered_map<std::string, bool> seen;
    for (const RobotClaim& claim : claims) {
        if (claim.robot != nullptr && seen.emplace(claim.address, true).second) {
            distinct.push_back(&claim);
        }
    }
    Verifier(channel.get(), limits, checks).Run(distinct);
    return checks;
}

}  // namespace quaymark
