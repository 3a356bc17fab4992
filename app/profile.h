#pragma once

#include <filesystem>

#include "engine/google/service_key.h"
#include "engine/run/channel_kinds.h"
#include "storage/atomic_file.h"

namespace quaymark {

// The user's channel settings and keys, read as both faces and the announcer take them.
struct ChannelsLoaded {
    // Off, as a missing file leaves them, when the settings file could not be read.
    ChannelSettings channels{};
    // How reading the settings file went.
    std::filesystem::path settingsFile{};
    FileResult settings{};
    // A key Google needs and that could not be taken: Google stays off, the others do not.
    std::filesystem::path googleKeyFile{};
    KeyProblem googleKey = KeyProblem::None;

    bool SettingsUnreadable() const { return !settings && !settings.Missing(); }
};
ChannelsLoaded LoadChannels();

// Google's key as the settings ask for it: none while Google is off.
KeyReading TakeGoogleKey(const IndexNowSettings& settings);

}  // namespace quaymark
