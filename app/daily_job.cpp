#include "app/daily_job.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "storage/daily_timer.h"

extern char** environ;

namespace quaymark {
namespace {

std::string Said(const ManagerAnswer& answer) {
    return answer.output.empty() ? "systemctl --user failed" : answer.output;
}

}  // namespace

std::filesystem::path FindAnnouncer() {
    constexpr const char* kAnnouncer = "quaymark-announce";
    std::error_code error;
    const std::filesystem::path here =
        std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
    std::vector<std::filesystem::path> candidates{here / kAnnouncer,
                                                  here / ".." / "cli" / kAnnouncer};
    const char* path = std::getenv("PATH");
    std::string_view directories = path != nullptr ? path : "";
    while (!directories.empty()) {
        const std::size_t colon = directories.find(':');
        if (colon != 0) {
            candidates.push_back(std::filesystem::path(directories.substr(0, colon)) / kAnnouncer);
        }
        directories.remove_prefix(colon == std::string_view::npos ? directories.size() : colon + 1);
    }
    for (const std::filesystem::path& candidate : candidates) {
        if (candidate.is_absolute() && std::filesystem::is_regular_file(candidate, error) &&
            ::access(candidate.c_str(), X_OK) == 0) {
            return std::filesystem::weakly_canonical(candidate, error);
        }
    }
    return {};
}

ManagerAnswer AskSystemctl(const std::vector<std::string>& arguments) {
    std::vector<std::string> words{"systemctl", "--user"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    std::array<int, 2> pipe{};
    if (::pipe2(pipe.data(), O_CLOEXEC) != 0) {
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], STDERR_FILENO);
    pid_t child = 0;
    const int spawned =
        ::posix_spawnp(&child, "systemctl", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe[1]);
    ManagerAnswer answer;
    std::array<char, 4096> buffer{};
    ssize_t got = 0;
    while ((got = ::read(pipe[0], buffer.data(), buffer.size())) > 0 ||
           (got < 0 && errno == EINTR)) {
        answer.output.append(buffer.data(), static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    }
    ::close(pipe[0]);
    int status = 0;
    if (spawned == 0 && ::waitpid(child, &status, 0) == child) {
        answer.ran = true;
        answer.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    while (!answer.output.empty() &&
           (answer.output.back() == '\n' || answer.output.back() == ' ')) {
        answer.output.pop_back();
    }
    return answer;
}

DailyJobChange EnableDailyJob(const std::filesystem::path& announcer, const UserManager& manager) {
    if (const std::optional<char> refused = RefusedBySystemd(announcer)) {
        return {.kind = DailyJobChange::Kind::RefusedPath,
                .detail = std::string(1, *refused),
                .crontab = CrontabLine(announcer)};
    }
    const std::filesystem::path units = UserUnitDirectory();
    if (const FileResult written = WriteTimerUnits(units, announcer); !written) {
        return {
            .kind = DailyJobChange::Kind::NotWritten, .detail = written.Reason(), .units = units};
    }
    const ManagerAnswer reloaded = manager({"daemon-reload"});
    if (!reloaded.succeeded()) {
        RemoveTimerUnits(units);
        return {.kind = DailyJobChange::Kind::NoUserManager,
                .detail = Said(reloaded),
                .crontab = CrontabLine(announcer)};
    }
    const ManagerAnswer enabled = manager({"enable", "--now", kTimerName});
    if (!enabled.succeeded()) {
        RemoveTimerUnits(units);
        manager({"daemon-reload"});
        return {.kind = DailyJobChange::Kind::NotEnabled, .detail = Said(enabled)};
    }
    return {};
}

DailyJobChange DisableDailyJob(const UserManager& manager) {
    manager({"disable", "--now", kTimerName});
    const std::filesystem::path units = UserUnitDirectory();
    if (const FileResult removed = RemoveTimerUnits(units); !removed) {
        return {
            .kind = DailyJobChange::Kind::NotRemoved, .detail = removed.Reason(), .units = units};
    }
    manager({"daemon-reload"});
    return {};
}

bool DailyJobOn() {
    return TimerUnitsWritten(UserUnitDirectory());
}

}  // namespace quaymark
