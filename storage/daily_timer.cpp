#include "storage/daily_timer.h"

#include "storage/program_paths.h"

namespace quaymark {
namespace {

// The executable of an ExecStart line as systemd 252 reads it: quoted, "%" doubled so that
// it is no specifier. A "$" stays single: systemd expands no variable in the executable, so
// a doubled one would name another file.
std::string SystemdExecutable(const std::string& path) {
    std::string quoted = "\"";
    for (const char c : path) {
        if (c == '%') {
            quoted += c;
        }
        quoted += c;
    }
    return quoted + "\"";
}

// One word of a crontab command: single-quoted for the shell, a quote in it closed and
// escaped, and "%" escaped, which cron would otherwise turn into a line end.
std::string CrontabWord(const std::string& word) {
    std::string quoted = "'";
    for (const char c : word) {
        quoted += c == '\''  ? std::string("'\\''")
                  : c == '%' ? std::string("\\%")
                             : std::string(1, c);
    }
    return quoted + "'";
}

}  // namespace

std::filesystem::path UserUnitDirectory() {
    return ConfigHome() / "systemd" / "user";
}

std::optional<char> RefusedBySystemd(const std::filesystem::path& announcer) {
    for (const char c : announcer.string()) {
        if (c == '"' || c == '\'' || c == '\\' || static_cast<unsigned char>(c) < 0x20 ||
            c == '\x7f') {
            return c;
        }
    }
    return std::nullopt;
}

std::string TimerServiceUnit(const std::filesystem::path& announcer) {
    return "[Unit]\n"
           "Description=Quaymark: announce the changes of your sites\n"
           "Documentation=man:quaymark-announce(1)\n"
           "\n"
           "[Service]\n"
           "Type=oneshot\n"
           "ExecStart=" +
           SystemdExecutable(announcer.string()) + " --scheduled --quiet\n";
}

std::string TimerUnit() {
    return "[Unit]\n"
           "Description=Quaymark: announce the changes of your sites every day\n"
           "Documentation=man:quaymark-announce(1)\n"
           "\n"
           "[Timer]\n"
           "OnCalendar=daily\n"
           "RandomizedDelaySec=1h\n"
           "Persistent=true\n"
           "\n"
           "[Install]\n"
           "WantedBy=timers.target\n";
}

std::string CrontabLine(const std::filesystem::path& announcer) {
    return "17 9 * * * " + CrontabWord(announcer.string()) + " --scheduled --quiet";
}

FileResult WriteTimerUnits(const std::filesystem::path& directory,
                           const std::filesystem::path& announcer) {
    if (RefusedBySystemd(announcer)) {
        return {.error = std::make_error_code(std::errc::invalid_argument)};
    }
    if (FileResult written =
            WriteFileAtomically(directory / kTimerServiceName, TimerServiceUnit(announcer));
        !written) {
        return written;
    }
    return WriteFileAtomically(directory / kTimerName, TimerUnit());
}

FileResult RemoveTimerUnits(const std::filesystem::path& directory) {
    FileResult result;
    for (const char* name : {kTimerName, kTimerServiceName}) {
        std::error_code error;
        std::filesystem::remove(directory / name, error);
        if (error && !result.error) {
            result.error = error;
        }
    }
    return result;
}

bool TimerUnitsWritten(const std::filesystem::path& directory) {
    std::error_code ignored;
    return std::filesystem::is_regular_file(directory / kTimerName, ignored);
}

}  // namespace quaymark
