#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/announcing.h"
#include "app/daily_job.h"

namespace CLI {
class App;
}

namespace quaymark::cli {

// What the announcer talks to: where its requests go, its two output streams, and whether
// standard error is a terminal (a progress bar) or not (plain lines).
struct AnnouncerSeams {
    RunRouting routing{};
    std::ostream& out;
    std::ostream& err;
    bool terminal = false;
    // How long an announcer waits for one already under way before it gives up.
    std::chrono::milliseconds runLockWait = std::chrono::minutes(30);
    // The user's systemd manager and the announcer the daily timer runs (found beside the
    // program when empty).
    UserManager userManager = &AskSystemctl;
    std::filesystem::path announcer{};
};

// Parses the arguments; the status to exit with when that ends the run (help, version, a
// usage error told on standard error under the program's name).
std::optional<int> ParseArguments(CLI::App& app, const std::vector<std::string>& arguments,
                                  const AnnouncerSeams& seams, std::string_view program);

// Announce Changes from the command line with the user's own list, settings and history.
int RunAnnouncer(const std::vector<std::string>& arguments, const AnnouncerSeams& seams);

}  // namespace quaymark::cli
