#include "app/accounts.h"

#include <algorithm>

#include "engine/net/web_address.h"
#include "engine/run/channel_kinds.h"
#include "storage/secret_store.h"

namespace quaymark {
namespace {

using Kind = ChannelChange::Kind;

constexpr std::size_t kMaxCredential = 4096;

std::string Text(std::string_view text) {
    return std::string(text);
}

// The credential kept for a section; none, with the reading that says why, when none is.
std::optional<std::string> ReadCredential(std::string_view section, SecretStore& secrets,
                                          SecretReading& read) {
    read = secrets.Read(section);
    return read.found() ? TakenCredential(read.secret) : std::nullopt;
}

}  // namespace

std::string MaskedCredential(std::string_view credential) {
    constexpr std::size_t kShown = 4;
    // A short credential shows nothing of itself: four of eight characters would be half of it.
    if (credential.size() < 4 * kShown) {
        return credential.empty() ? std::string() : std::string("****");
    }
    return "****" + std::string(credential.substr(credential.size() - kShown));
}

std::optional<std::string> TakenCredential(std::string_view given) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!given.empty() && blank(given.front())) {
        given.remove_prefix(1);
    }
    while (!given.empty() && blank(given.back())) {
        given.remove_suffix(1);
    }
    if (given.empty() || given.size() > kMaxCredential ||
        std::ranges::any_of(given, [](unsigned char c) { return c <= ' ' || c == 0x7f; })) {
        return std::nullopt;
    }
    return std::string(given);
}

SitesTaken TakenSites(const std::vector<std::string>& given) {
    SitesTaken taken;
    for (const std::string& site : given) {
        const std::optional<std::string> root = SiteRoot(site);
        if (!root || site.find_first_of(" \t\r\n") != std::string::npos) {
            taken.refused = site;
            return taken;
        }
        if (std::ranges::find(taken.sites, *root) == taken.sites.end()) {
            taken.sites.push_back(*root);
        }
    }
    return taken;
}

std::vector<AccountView> Accounts(const IndexNowSettings& settings, bool showCredentials) {
    std::vector<AccountView> views;
    // Only a face that shows the credentials asks the keyring for them.
    const std::unique_ptr<SecretStore> secrets =
        showCredentials ? UserSecrets(Unlock::MayAsk) : nullptr;
    for (const ChannelKind* kind : AccountKinds()) {
        const AccountKind& account = *kind->account;
        const auto kept = settings.accounts.find(account.section);
        SecretReading read;
        const std::optional<std::string> credential =
            secrets ? ReadCredential(account.section, *secrets, read) : std::nullopt;
        views.push_back(
            {.name = Text(kind->name),
             .section = Text(account.section),
             .credential = Text(account.credential),
             .where = Text(account.where),
             .sites = Text(account.sites),
             .plainHttpWarning = Text(account.plainHttpWarning),
             .settings = kept == settings.accounts.end() ? AccountSettings{} : kept->second,
             .masked = MaskedCredential(credential.value_or(""))});
    }
    return views;
}

KeyKept KeepCredential(std::string_view section, const std::string& credential) {
    if (credential.empty()) {
        return {};
    }
    const std::unique_ptr<SecretStore> secrets = UserSecrets(Unlock::MayAsk);
    return {.where = secrets->Where(),
            .result = secrets->Keep(section, credential),
            .inFile = !secrets->InKeyring()};
}

std::vector<CredentialProblem> LoadCredentials(ChannelSettings& channels, SecretStore& secrets,
                                               bool& locked) {
    std::vector<CredentialProblem> problems;
    channels.credentials.clear();
    for (const ChannelKind* kind : AccountKinds()) {
        const std::string_view section = kind->account->section;
        const auto settings = channels.settings.accounts.find(section);
        if (settings == channels.settings.accounts.end() || !settings->second.enabled) {
            continue;
        }
        SecretReading read;
        std::optional<std::string> credential = ReadCredential(section, secrets, read);
        if (!credential) {
            locked = locked || read.kind == SecretReading::Kind::Locked;
            problems.push_back({.name = Text(kind->name),
                                .where = secrets.Where(),
                                .detail = read.kind == SecretReading::Kind::Locked ? "it is locked"
                                          : read.kind == SecretReading::Kind::Failed
                                              ? read.detail
                                              : std::string("no credential is kept there")});
            continue;
        }
        channels.credentials.emplace(section, std::move(*credential));
    }
    return problems;
}

ChannelChange TurnAccountOn(std::string_view section, const AccountChoice& choice) {
    if (AccountKindOf(section) == nullptr) {
        return {.kind = Kind::UnknownChannel, .detail = Text(section)};
    }
    ChannelChange change = LoadedSettings();
    if (change.kind != Kind::Done) {
        return change;
    }
    std::string credential;
    if (!choice.credential.empty()) {
        const std::optional<std::string> taken = TakenCredential(choice.credential);
        if (!taken) {
            return {.kind = Kind::BadCredential};
        }
        credential = *taken;
    } else {
        SecretReading read;
        const std::optional<std::string> kept =
            ReadCredential(section, *UserSecrets(Unlock::MayAsk), read);
        if (!kept) {
            return {.kind = Kind::NoCredentialKept};
        }
        credential = *kept;
    }
    AccountSettings& account = change.settings.accounts[Text(section)];
    if (choice.sites) {
        SitesTaken sites = TakenSites(*choice.sites);
        if (!sites.refused.empty()) {
            return {.kind = Kind::BadSite, .detail = sites.refused};
        }
        account.sites = std::move(sites.sites);
    }
    if (choice.plainHttp && !AccountKindOf(section)->account->plainHttpWarning.empty()) {
        account.plainHttp = *choice.plainHttp;
    }
    account.enabled = true;
    if (!choice.credential.empty()) {
        const KeyKept kept = KeepCredential(section, credential);
        if (!kept.result.ok) {
            return {.kind = Kind::CredentialNotKept,
                    .detail = kept.where + ": " + kept.result.detail};
        }
        change.keptInFile = kept.inFile ? kept.where : std::string();
    }
    change.account = MaskedCredential(credential);
    return SavedSettings(std::move(change));
}

ChannelChange TurnAccountOff(std::string_view section) {
    if (AccountKindOf(section) == nullptr) {
        return {.kind = Kind::UnknownChannel, .detail = Text(section)};
    }
    ChannelChange change = LoadedSettings();
    if (change.kind != Kind::Done) {
        return change;
    }
    change.settings.accounts[Text(section)].enabled = false;
    return SavedSettings(std::move(change));
}

}  // namespace quaymark
