#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "storage/atomic_file.h"

namespace quaymark {

// The daily job's files: a systemd user service that runs the announcer as the timer's, and a
// timer that starts it once a day at a randomised time, catching up a day missed while the
// computer was off. They are ours alone and live under the user's configuration directory.
inline constexpr const char* kTimerServiceName = "quaymark-announce.service";
inline constexpr const char* kTimerName = "quaymark-announce.timer";

// $XDG_CONFIG_HOME/systemd/user, where a user's own units go.
std::filesystem::path UserUnitDirectory();

// The first character of the announcer's path that systemd refuses in an executable
// outright (a quote, a backslash, a control character); none when a unit can run it.
std::optional<char> RefusedBySystemd(const std::filesystem::path& announcer);

// The units' text for the announcer at the path.
std::string TimerServiceUnit(const std::filesystem::path& announcer);
std::string TimerUnit();

// The crontab line that does what the timer does, where no user manager runs.
std::string CrontabLine(const std::filesystem::path& announcer);

// Writes both units atomically into the directory; none for a path systemd refuses.
FileResult WriteTimerUnits(const std::filesystem::path& directory,
                           const std::filesystem::path& announcer);
// Removes both; a unit already gone is no failure.
FileResult RemoveTimerUnits(const std::filesystem::path& directory);
// Whether the daily job's timer is there.
bool TimerUnitsWritten(const std::filesystem::path& directory);

}  // namespace quaymark
