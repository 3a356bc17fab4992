#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "storage/daily_timer.h"

namespace quaymark {

// What the user's systemd manager answered: whether systemctl ran, its exit status and what
// it printed.
struct ManagerAnswer {
    bool ran = false;
    int exitStatus = -1;
    std::string output{};

    bool succeeded() const { return ran && exitStatus == 0; }
};
// Asks the user's manager ("systemctl --user" with the arguments); a seam for tests.
using UserManager = std::function<ManagerAnswer(const std::vector<std::string>& arguments)>;
// Runs systemctl --user with the arguments, its output and errors kept.
ManagerAnswer AskSystemctl(const std::vector<std::string>& arguments);

// The announcer beside the running program (or in the build tree beside it), else on the
// PATH; empty when there is none.
std::filesystem::path FindAnnouncer();

// What became of setting the daily job up or taking it down, for a face to word.
struct DailyJobChange {
    enum class Kind {
        Done,
        RefusedPath,    // the announcer's path holds a character systemd refuses: detail
        NotWritten,     // the units could not be written: detail
        NoUserManager,  // no user manager runs: detail is what systemctl said
        NotEnabled,     // the timer could not be enabled: detail
        NotRemoved,     // the units could not be removed: detail
    };
    Kind kind = Kind::Done;
    std::string detail{};
    // Where the units go.
    std::filesystem::path units{};
    // The crontab line that does what the timer would, where it cannot.
    std::string crontab{};
};

// The timer's units written and enabled through the user's manager for the announcer at the
// path; where that cannot be, nothing is left behind.
DailyJobChange EnableDailyJob(const std::filesystem::path& announcer, const UserManager& manager);
// The timer disabled and its units removed; a manager that is gone has nothing to disable.
DailyJobChange DisableDailyJob(const UserManager& manager);
// Whether the daily job's timer is set up.
bool DailyJobOn();

}  // namespace quaymark
