#pragma once

#include <filesystem>
#include <string>

#include "engine/google/service_key.h"
#include "engine/indexnow/key_check.h"
#include "storage/indexnow_settings.h"

namespace quaymark {

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
        KeyNotKept,          // file, detail: the copy of Google's key could not be kept
    };
    Kind kind = Kind::Done;
    std::filesystem::path file{};
    std::string detail{};
    // The settings as they now are, the IndexNow key file written (if asked), and the service
    // account whose key Google now signs in with.
    IndexNowSettings settings{};
    std::filesystem::path keyFile{};
    std::string account{};
};

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
