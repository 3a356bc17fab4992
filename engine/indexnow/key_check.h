#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/net/status_fetcher.h"
#include "storage/indexnow_settings.h"

namespace quaymark {

// The key check of one host: what https://<host>/<key>.txt (or the key location) serves.
struct KeyFileCheck {
    enum class Verdict {
        Served,        // exactly the key
        OtherContent,  // something else
        Redirected,    // to the location
        Untrusted,     // a certificate not trusted
        OnlyOverHttp,  // the key, but over http alone, which is no proof
        NotFound,      // 404
        NoAnswer,      // why: the failure
        Answered,      // another status
    };
    Verdict verdict = Verdict::NoAnswer;
    std::string location{};
    TransferFailure failure{};
    long status = 0;
};
KeyFileCheck CheckKeyFile(const StatusFetcher& fetcher, std::string_view host,
                          const IndexNowSettings& settings);
// What the check found, in the user's words: "served exactly", "not found (404)", …; the
// location as the host gave it, for the reader to make displayable.
std::string KeyCheckText(const KeyFileCheck& check);
// Whether a key location covers an address: the address lies in the key file's folder on
// the same host.
bool KeyLocationCovers(std::string_view keyLocation, std::string_view address);

// The hosts of the addresses, each once, in the order they first appear.
std::vector<std::string> HostsOf(const std::vector<std::string>& addresses);

// The key check of every host of a list: what each serves and, with a key location, the
// addresses of its host it does not cover.
struct KeyCheckReport {
    struct Host {
        std::string host;
        KeyFileCheck check;
    };
    std::vector<Host> hosts;
    std::vector<std::string> uncovered;
};
KeyCheckReport CheckKeys(const StatusFetcher& fetcher, const std::vector<std::string>& addresses,
                         const IndexNowSettings& settings);

}  // namespace quaymark
