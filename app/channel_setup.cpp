#include "app/channel_setup.h"

#include "app/sites.h"

#include <algorithm>

#include "engine/check/host_gate.h"
#include "engine/indexnow/indexnow.h"
#include "storage/atomic_file.h"
#include "storage/program_paths.h"

namespace quaymark {

using Kind = ChannelChange::Kind;

ChannelChange LoadedSettings() {
    ChannelChange change{.file = IndexNowSettingsPath()};
    if (const FileResult loaded = LoadIndexNowSettings(change.file, change.settings);
        !loaded && !loaded.Missing()) {
        change.kind = Kind::SettingsUnreadable;
        change.detail = loaded.Reason();
    }
    return change;
}

ChannelChange SavedSettings(ChannelChange change) {
    if (const FileResult saved = SaveIndexNowSettings(change.file, change.settings); !saved) {
        change.kind = Kind::SettingsNotSaved;
        change.detail = saved.Reason();
    }
    return change;
}

namespace {

// Google's key as kept, read from the store; the problem when it is none.
KeyReading KeptGoogleKey(SecretStore& secrets, bool& locked) {
    const SecretReading read = secrets.Read(kGoogleSecret);
    switch (read.kind) {
        case SecretReading::Kind::Found: {
            KeyReading key = ReadServiceKey(read.secret);
            key.file = read.secret;
            return key;
        }
        case SecretReading::Kind::Locked:
            locked = true;
            return {.problem = KeyProblem::Unreadable};
        case SecretReading::Kind::Absent:
        case SecretReading::Kind::Failed:
            break;
    }
    return {.problem = KeyProblem::Unreadable};
}

}  // namespace

ChannelsLoaded LoadChannels(Unlock unlock) {
    ChannelsLoaded loaded{.settingsFile = IndexNowSettingsPath()};
    loaded.settings = LoadIndexNowSettings(loaded.settingsFile, loaded.channels.settings);
    if (loaded.SettingsUnreadable()) {
        loaded.channels.settings = {};
        return loaded;
    }
    const std::unique_ptr<SecretStore> secrets = UserSecrets(unlock);
    loaded.googleKeyWhere = secrets->Where();
    KeyReading reading = TakeGoogleKey(loaded.channels.settings, *secrets, loaded.keyringLocked);
    loaded.channels.googleKey = std::move(reading.key);
    loaded.googleKey = reading.problem;
    loaded.credentials = LoadCredentials(loaded.channels, *secrets, loaded.keyringLocked);
    return loaded;
}

KeyReading TakeGoogleKey(const IndexNowSettings& settings, SecretStore& secrets, bool& locked) {
    if (!settings.google) {
        return {};
    }
    return KeptGoogleKey(secrets, locked);
}

std::string KeptGoogleAccount(const ChannelSettings& channels) {
    if (channels.googleKey) {
        return channels.googleKey->clientEmail;
    }
    bool locked = false;
    const KeyReading kept = KeptGoogleKey(*UserSecrets(Unlock::MayAsk), locked);
    return kept.key ? kept.key->clientEmail : std::string();
}

KeyKept KeepChosenGoogleKey(const std::string& chosen) {
    if (chosen.empty()) {
        return {};
    }
    const std::unique_ptr<SecretStore> secrets = UserSecrets(Unlock::MayAsk);
    return {.where = secrets->Where(),
            .result = secrets->Keep(kGoogleSecret, chosen),
            .inFile = !secrets->InKeyring()};
}

ChannelsSaved SaveChannels(const IndexNowSettings& settings, bool settingsUnreadable) {
    const std::unique_ptr<SecretStore> secrets = UserSecrets(Unlock::MayAsk);
    ChannelsSaved saved{.channels = {.settings = settings},
                        .googleKeyWhere = secrets->Where(),
                        .settingsFile = IndexNowSettingsPath(),
                        .leftUnread = settingsUnreadable};
    bool locked = false;
    KeyReading reading = TakeGoogleKey(settings, *secrets, locked);
    saved.channels.googleKey = std::move(reading.key);
    saved.googleKey = reading.problem;
    saved.credentials = LoadCredentials(saved.channels, *secrets, locked);
    if (!settingsUnreadable) {
        saved.saved = SaveIndexNowSettings(saved.settingsFile, settings);
    }
    return saved;
}

ChannelChange TurnIndexNowOn(const IndexNowChoice& choice) {
    ChannelChange change = LoadedSettings();
    IndexNowSettings& settings = change.settings;
    if (change.kind != Kind::Done) {
        return change;
    }
    if (!choice.key.empty() && !IsValidIndexNowKey(choice.key)) {
        return {.kind = Kind::BadKey};
    }
    if (!choice.keyLocation.empty() && !IsKeyLocation(choice.keyLocation)) {
        return {.kind = Kind::BadKeyLocation};
    }
    settings.key = !choice.key.empty()                ? choice.key
                   : IsValidIndexNowKey(settings.key) ? settings.key
                                                      : NewIndexNowKey();
    settings.endpoint = choice.endpoint.empty() ? settings.endpoint : choice.endpoint;
    settings.keyLocation = choice.keyLocation.empty() ? settings.keyLocation : choice.keyLocation;
    settings.enabled = true;
    if (!choice.keyFile.empty()) {
        change.keyFile = choice.keyFile;
        if (std::filesystem::is_directory(change.keyFile)) {
            change.keyFile /= settings.key + ".txt";
        }
        if (const FileResult written = WriteFileAtomically(change.keyFile, settings.key);
            !written) {
            return {.kind = Kind::KeyFileNotWritten,
                    .file = change.keyFile,
                    .detail = written.Reason()};
        }
    }
    return SavedSettings(std::move(change));
}

ChannelChange TurnIndexNowOff() {
    ChannelChange change = LoadedSettings();
    change.settings.enabled = false;
    return change.kind == Kind::Done ? SavedSettings(std::move(change)) : change;
}

ChannelChange TurnGoogleOn(const std::filesystem::path& keyFile) {
    ChannelChange change = LoadedSettings();
    if (change.kind != Kind::Done) {
        return change;
    }
    const std::unique_ptr<SecretStore> secrets = UserSecrets(Unlock::MayAsk);
    bool locked = false;
    const KeyReading reading =
        keyFile.empty() ? KeptGoogleKey(*secrets, locked) : LoadServiceKey(keyFile);
    if (!reading.key) {
        return keyFile.empty() ? ChannelChange{.kind = Kind::NoKeyKept}
                               : ChannelChange{.kind = Kind::KeyNotTaken,
                                               .file = keyFile,
                                               .detail = Describe(reading.problem)};
    }
    if (!keyFile.empty()) {
        if (const SecretKept kept = secrets->Keep(kGoogleSecret, reading.file); !kept.ok) {
            return {.kind = Kind::KeyNotKept, .detail = secrets->Where() + ": " + kept.detail};
        }
        change.keptInFile = secrets->InKeyring() ? std::string() : secrets->Where();
    }
    change.settings.google = true;
    change.account = reading.key->clientEmail;
    return SavedSettings(std::move(change));
}

ChannelChange TurnGoogleOff() {
    ChannelChange change = LoadedSettings();
    change.settings.google = false;
    return change.kind == Kind::Done ? SavedSettings(std::move(change)) : change;
}

PatternsTaken TakenHostPatterns(const std::vector<std::string>& given) {
    PatternsTaken taken;
    for (const std::string& pattern : given) {
        const std::optional<std::string> one = TakenHostPattern(pattern);
        if (!one) {
            taken.refused = pattern;
            return taken;
        }
        if (std::find(taken.patterns.begin(), taken.patterns.end(), *one) == taken.patterns.end()) {
            taken.patterns.push_back(*one);
        }
    }
    return taken;
}

ChannelChange SetGate(const GateChoice& choice) {
    ChannelChange change = LoadedSettings();
    if (change.kind != Kind::Done) {
        return change;
    }
    for (const auto& [given, kept] :
         {std::pair(&choice.letThrough, &change.settings.letThrough),
          std::pair(&choice.notAnnounced, &change.settings.notAnnounced)}) {
        if (!*given) {
            continue;
        }
        PatternsTaken taken = TakenHostPatterns(**given);
        if (!taken.refused.empty()) {
            return {.kind = Kind::BadHostPattern, .detail = taken.refused};
        }
        *kept = std::move(taken.patterns);
    }
    return SavedSettings(std::move(change));
}

SitesKeyCheck CheckSitesKey(const RunRouting& routing) {
    const ChannelChange loaded = LoadedSettings();
    if (loaded.kind != Kind::Done) {
        return {.kind = SitesKeyCheck::Kind::SettingsUnreadable,
                .file = loaded.file,
                .detail = loaded.detail};
    }
    if (!IsValidIndexNowKey(loaded.settings.key)) {
        return {.kind = SitesKeyCheck::Kind::NoKey};
    }
    const SiteList list = RememberedSites();
    if (!list.failure.empty()) {
        return {.kind = SitesKeyCheck::Kind::HistoryUnreadable, .detail = list.failure};
    }
    std::vector<std::string> sites;
    for (const RememberedSite& site : list.sites) {
        sites.push_back(site.site);
    }
    if (sites.empty()) {
        return {.kind = SitesKeyCheck::Kind::NoSite};
    }
    return {.report = CheckKeys(StatusFetcher(routing), sites, loaded.settings)};
}

}  // namespace quaymark
