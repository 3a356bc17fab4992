#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/channel_setup.h"

namespace quaymark {

// The channels of the engines' own APIs as both faces show them and set them up: each kind's
// words from the list of channel kinds, the user's settings, and its credential, which no face
// ever shows but masked.
struct AccountView {
    std::string name;
    std::string section;
    std::string credential;
    std::string where;
    std::string sites;
    // Not empty where plain http may be chosen: what the user reads before choosing it.
    std::string plainHttpWarning;
    AccountSettings settings{};
    // The kept credential as shown ("...1a2b"); empty when none is kept.
    std::string masked{};
};
// The kept credentials are read (masked) only when they are to be shown.
std::vector<AccountView> Accounts(const IndexNowSettings& settings, bool showCredentials);

// At most its last four characters, where it is long enough for them to give nothing away.
std::string MaskedCredential(std::string_view credential);

// A credential as given: blanks around it dropped; none when what is left is no credential
// (empty, a blank or a control inside, longer than 4 KiB).
std::optional<std::string> TakenCredential(std::string_view given);

// The sites as given, each an http or https site's root; the first that is not, when one is not.
struct SitesTaken {
    std::vector<std::string> sites{};
    std::string refused{};
};
SitesTaken TakenSites(const std::vector<std::string>& given);

// A credential kept as the user's alone, where the channels find it; empty when none is given.
KeyKept KeepCredential(std::string_view section, const std::string& credential);

// What is asked of one engine's own channel on the command line: a credential (else the one
// kept), the sites it serves (else those kept), and plain http where it may be chosen.
struct AccountChoice {
    std::string credential{};
    std::optional<std::vector<std::string>> sites{};
    std::optional<bool> plainHttp{};
};
ChannelChange TurnAccountOn(std::string_view section, const AccountChoice& choice);
// Off, its credential kept.
ChannelChange TurnAccountOff(std::string_view section);

}  // namespace quaymark
