#include "app/profile.h"

#include "storage/indexnow_settings.h"
#include "storage/program_paths.h"

namespace quaymark {

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
    return loaded;
}

KeyReading TakeGoogleKey(const IndexNowSettings& settings) {
    if (!settings.google) {
        return {};
    }
    return LoadServiceKey(GoogleKeyPath());
}

}  // namespace quaymark
