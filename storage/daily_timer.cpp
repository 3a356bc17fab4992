#include "storage/daily_timer.h"

#include "storage/program_paths.h"

namespace quaymark {
namespace {

// One word of a command line as systemd reads it: quoted, with its escapes, and "%" and "$"
// doubled so that neither is taken for a specifier or a variable.
std::string SystemdWord(const std::string& word) {
    std::string quoted = "\"";
    for (const char c : word) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        } else if (c == '%' || c == '$') {
            quoted += c;
        }
        quoted += c;
    }
    return quoted + "\"";
}

// One word of a shell command line: single-quoted, a quote in it closed and escaped.
std::string ShellWord(const std::string& word) {
    std::string quoted = "'";
    for (const char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

}  // namespace

std::filesystem::path UserUnitDirectory() {
    return ConfigHome() / "systemd" / "user";
}

std::string TimerServiceUnit(const std::filesystem::path& announcer) {
    return "[Unit]\n"
           "Description=Quaymark: announce the changes of your sites\n"
           "Documentation=man:quaymark-announce(1)\n"
           "\n"
           "[Service]\n"
           "Type=oneshot\n"
           "ExecStart=" +
           SystemdWord(announcer.string()) + " --scheduled --quiet\n";
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
    return "17 9 * * * " + ShellWord(announcer.string()) + " --scheduled --quiet";
}

FileResult WriteTimerUnits(const std::filesystem::path& directory,
                           const std::filesystem::path& announcer) {
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
