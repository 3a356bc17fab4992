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

ChannelsLoaded LoadChannels() {
    ChannelsLoaded loaded{.settingsFile = IndexNowSettingsPath(), .googleKeyFile = GoogleKeyPath()};
    loaded.settings = LoadIndexNowSettings(loaded.settingsFile, loaded.channels.settings);
    if (loaded.SettingsUnreadable()) {
        loaded.channels.settings = {};
        return loaded;
    }
    KeyReading reading = TakeGoogleKey(loaded.channels.settings);
    loaded.channels.googleKey = std::move(reading.key);
    loaded.googleKey = reading.problem;
    loaded.credentials = LoadCredentials(loaded.channels);
    return loaded;
}

KeyReading TakeGoogleKey(const IndexNowSettings& settings) {
    if (!settings.google) {
        return {};
    }
    return LoadServiceKey(GoogleKeyPath());
}

std::string KeptGoogleAccount(const ChannelSettings& channels) {
    if (channels.googleKey) {
        return channels.googleKey->clientEmail;
    }
    const KeyReading kept = LoadServiceKey(GoogleKeyPath());
    return kept.key ? kept.key->clientEmail : std::string();
}

KeyKept KeepChosenGoogleKey(const std::string& chosen) {
    if (chosen.empty()) {
        return {};
    }
    KeyKept kept{.file = GoogleKeyPath()};
    kept.result = SaveServiceKeyFile(kept.file, chosen);
    return kept;
}

ChannelsSaved SaveChannels(const IndexNowSettings& settings, bool settingsUnreadable) {
    ChannelsSaved saved{.channels = {.settings = settings},
                        .googleKeyFile = GoogleKeyPath(),
                        .settingsFile = IndexNowSettingsPath(),
                        .leftUnread = settingsUnreadable};
    KeyReading reading = TakeGoogleKey(settings);
    saved.channels.googleKey = std::move(reading.key);
    saved.googleKey = reading.problem;
    saved.credentials = LoadCredentials(saved.channels);
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
    const std::filesystem::path kept = GoogleKeyPath();
    const KeyReading reading = LoadServiceKey(keyFile.empty() ? kept : keyFile);
    if (!reading.key) {
        return keyFile.empty() ? ChannelChange{.kind = Kind::NoKeyKept}
                               : ChannelChange{.kind = Kind::KeyNotTaken,
                                               .file = keyFile,
                                               .detail = Describe(reading.problem)};
    }
    if (!keyFile.empty()) {
        if (const FileResult saved = SaveServiceKeyFile(kept, reading.file); !saved) {
            return {.kind = Kind::KeyNotKept, .file = kept, .detail = saved.Reason()};
        }
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

namespace {

// The patterns as given, each once; false with the first that is none.
bool TakePatterns(const std::vector<std::string>& given, std::vector<std::string>& taken,
                  std::string& refused) {
    taken.clear();
    for (const std::string& pattern : given) {
        const std::optional<std::string> one = TakenHostPattern(pattern);
        if (!one) {
            refused = pattern;
            return false;
        }
        if (std::find(taken.begin(), taken.end(), *one) == taken.end()) {
            taken.push_back(*one);
        }
    }
    return true;
}

}  // namespace

ChannelChange SetGate(const GateChoice& choice) {
    ChannelChange change = LoadedSettings();
    if (change.kind != Kind::Done) {
        return change;
    }
    std::string refused;
    if ((choice.letThrough &&
         !TakePatterns(*choice.letThrough, change.settings.letThrough, refused)) ||
        (choice.notAnnounced &&
         !TakePatterns(*choice.notAnnounced, change.settings.notAnnounced, refused))) {
        return {.kind = Kind::BadHostPattern, .detail = refused};
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
