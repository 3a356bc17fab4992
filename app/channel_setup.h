#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/google/service_key.h"
#include "engine/indexnow/indexnow.h"
#include "engine/indexnow/key_check.h"
#include "engine/run/channel_kinds.h"
#include "storage/atomic_file.h"
#include "storage/indexnow_settings.h"
#include "storage/secret_store.h"

namespace quaymark {

// An engine's own channel that is on but whose credential could not be read: it stays off for
// now, and is told. Where: the store's words ("the desktop's keyring", the files).
struct CredentialProblem {
    std::string name;
    std::string where;
    std::string detail;
};
// The credentials of the engines' own channels that are on, read into the channels; locked is
// set when the keyring holds one but is locked.
std::vector<CredentialProblem> LoadCredentials(ChannelSettings& channels, SecretStore& secrets,
                                               bool& locked);

// The name Google's key is kept under among the credentials.
inline constexpr std::string_view kGoogleSecret = "google";

// The user's channel settings and keys, read as both faces and the announcer take them.
struct ChannelsLoaded {
    // Off, as a missing file leaves them, when the settings file could not be read.
    ChannelSettings channels{};
    // How reading the settings file went.
    std::filesystem::path settingsFile{};
    FileResult settings{};
    // A key Google needs and that could not be taken: Google stays off, the others do not.
    std::string googleKeyWhere{};
    KeyProblem googleKey = KeyProblem::None;
    std::vector<CredentialProblem> credentials{};
    // The keyring holds a credential of a channel that is on but is locked, and was not to be
    // unlocked: a setup error for the daily timer, never a silent skip.
    bool keyringLocked = false;

    bool SettingsUnreadable() const { return !settings && !settings.Missing(); }
};
ChannelsLoaded LoadChannels(Unlock unlock = Unlock::MayAsk);

// Google's key as the settings ask for it: none while Google is off.
KeyReading TakeGoogleKey(const IndexNowSettings& settings, SecretStore& secrets, bool& locked);

// The service account whose key is kept: the one in use, else the one kept while Google is off,
// so that turning it on needs no new key.
std::string KeptGoogleAccount(const ChannelSettings& channels);

// The key chosen in the Channels window, kept as the user's alone; nothing when none was chosen.
// Where it went, in the store's words, and whether it could be kept.
struct KeyKept {
    std::string where{};
    SecretKept result{};
    // No keyring runs: it went to a file of the user's alone, which the faces tell.
    bool inFile = false;
};
KeyKept KeepChosenGoogleKey(const std::string& chosen);

// The settings the Channels window's OK leaves: Google's key taken again, and the file saved,
// unless it could not be read at start (it is then left as it is, and the settings last until
// the program ends).
struct ChannelsSaved {
    ChannelSettings channels{};
    std::string googleKeyWhere{};
    KeyProblem googleKey = KeyProblem::None;
    std::filesystem::path settingsFile{};
    bool leftUnread = false;
    FileResult saved{};
    std::vector<CredentialProblem> credentials{};
};
ChannelsSaved SaveChannels(const IndexNowSettings& settings, bool settingsUnreadable);

// A channel turned on or off in the user's settings, and what became of it, for a face to word.
struct ChannelChange {
    enum class Kind {
        Done,
        SettingsUnreadable,  // file, detail
        SettingsNotSaved,    // file, detail
        BadKey,              // the key given is no IndexNow key
        BadKeyLocation,      // the key location is no https address of a .txt file
        KeyFileNotWritten,   // file, detail
        KeyNotTaken,         // file: no service account's key; detail: why
        NoKeyKept,           // Google asked on without a key, and none is kept
        KeyNotKept,          // detail: where, and why the copy of Google's key could not be kept
        UnknownChannel,      // detail: the name given
        BadCredential,       // the credential given is none
        NoCredentialKept,    // an engine's own channel asked on without a credential
        CredentialNotKept,   // detail: where, and why
        BadSite,             // detail: the site that is no http or https site
        BadHostPattern,      // detail: what is no host nor host pattern
    };
    Kind kind = Kind::Done;
    std::filesystem::path file{};
    std::string detail{};
    // The settings as they now are, the IndexNow key file written (if asked), and the service
    // account whose key Google now signs in with (or an engine's credential, masked).
    IndexNowSettings settings{};
    std::filesystem::path keyFile{};
    std::string account{};
    // Where a credential given was kept, when no keyring runs and it went to a file.
    std::string keptInFile{};
};

// The settings as kept, a missing file being today's defaults; and saved again.
ChannelChange LoadedSettings();
ChannelChange SavedSettings(ChannelChange change);

// What is asked of IndexNow: a key (else the one kept, else a new one), an endpoint and a key
// location (else those kept), and where to write the key file (a folder takes <key>.txt).
struct IndexNowChoice {
    std::string key{};
    std::string endpoint{};
    std::string keyLocation{};
    std::filesystem::path keyFile{};
};
ChannelChange TurnIndexNowOn(const IndexNowChoice& choice);
// Off, its key kept.
ChannelChange TurnIndexNowOff();
// On with the service account's key in the file, taken as the window takes it (kept as the
// user's alone), or with the one kept when no file is given.
ChannelChange TurnGoogleOn(const std::filesystem::path& keyFile);
// Off, its key kept.
ChannelChange TurnGoogleOff();

// The gate's rules: hosts (or patterns) let through although they cannot be a public site, and
// those never announced. A list given replaces the one kept.
struct GateChoice {
    std::optional<std::vector<std::string>> letThrough{};
    std::optional<std::vector<std::string>> notAnnounced{};
};
ChannelChange SetGate(const GateChoice& choice);
// The hosts or host patterns as given, each once, in lower case; the first that is none.
struct PatternsTaken {
    std::vector<std::string> patterns{};
    std::string refused{};
};
PatternsTaken TakenHostPatterns(const std::vector<std::string>& given);

// The IndexNow key file of every site set up, as the engines will look for it.
struct SitesKeyCheck {
    enum class Kind { Checked, SettingsUnreadable, NoKey, NoSite, HistoryUnreadable };
    Kind kind = Kind::Checked;
    std::filesystem::path file{};
    std::string detail{};
    KeyCheckReport report{};
};
SitesKeyCheck CheckSitesKey(const RunRouting& routing);

}  // namespace quaymark
