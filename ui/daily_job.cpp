#include "ui/daily_job.h"

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>

#include "storage/daily_timer.h"
#include "ui/byte_text.h"
#include "ui/desktop.h"
#include "ui/program_title.h"

namespace quaymark::ui {
namespace {

const QString kNoAnnouncerText = QStringLiteral(
    "The announcer quaymark-announce was not found beside %1 or on the PATH, so the daily job "
    "cannot be set up.");
const QString kNoUserManagerText = QStringLiteral(
    "No systemd user manager runs here, so the daily job cannot be set up by itself (%1).\n\n"
    "To announce the changes every day all the same, add this line to your crontab "
    "(crontab -e):\n\n%2");
const QString kRefusedPathText = QStringLiteral(
    "The announcer's path %1 holds a character systemd does not take in a unit (%2), so the "
    "daily job cannot be set up as a timer.\n\n"
    "To announce the changes every day all the same, add this line to your crontab "
    "(crontab -e):\n\n%3");
const QString kUnitsNotWrittenText =
    QStringLiteral("The daily job's timer could not be written to %1: %2.");
const QString kNotEnabledText = QStringLiteral("The daily job's timer could not be enabled: %1");
const QString kNotRemovedText =
    QStringLiteral("The daily job's timer could not be removed from %1: %2.");

std::filesystem::path PathOf(const QString& file) {
    return std::filesystem::path(QFile::encodeName(file).toStdString());
}

QString Said(const UserManagerAnswer& answer) {
    return answer.output.isEmpty() ? QStringLiteral("systemctl --user failed") : answer.output;
}

bool Enable(QWidget* owner) {
    const std::filesystem::path announcer = AnnouncerPath();
    if (announcer.empty()) {
        ShowMessage(owner, kNoAnnouncerText.arg(QCoreApplication::applicationDirPath()),
                    kProgramTitle, MessageIcon::Warning);
        return false;
    }
    if (const std::optional<char> refused = RefusedBySystemd(announcer)) {
        const QString shown = *refused == '"' || *refused == '\'' || *refused == '\\'
                                  ? QString(QLatin1Char(*refused))
                                  : QStringLiteral("a control character");
        ShowMessage(owner,
                    kRefusedPathText.arg(DisplayText(announcer.string()), shown,
                                         DisplayText(CrontabLine(announcer))),
                    kProgramTitle, MessageIcon::Warning);
        return false;
    }
    const std::filesystem::path units = UserUnitDirectory();
    if (const FileResult written = WriteTimerUnits(units, announcer); !written) {
        ShowMessage(owner,
                    kUnitsNotWrittenText.arg(DisplayText(units.string()),
                                             QString::fromStdString(written.Reason())),
                    kProgramTitle, MessageIcon::Warning);
        return false;
    }
    const UserManagerAnswer reloaded = RunUserManager({QStringLiteral("daemon-reload")});
    if (!reloaded.succeeded()) {
        RemoveTimerUnits(units);
        ShowMessage(owner,
                    kNoUserManagerText.arg(Said(reloaded), DisplayText(CrontabLine(announcer))),
                    kProgramTitle, MessageIcon::Warning);
        return false;
    }
    const UserManagerAnswer enabled = RunUserManager(
        {QStringLiteral("enable"), QStringLiteral("--now"), QString::fromLatin1(kTimerName)});
    if (!enabled.succeeded()) {
        RemoveTimerUnits(units);
        RunUserManager({QStringLiteral("daemon-reload")});
        ShowMessage(owner, kNotEnabledText.arg(Said(enabled)), kProgramTitle, MessageIcon::Warning);
        return false;
    }
    return true;
}

bool Disable(QWidget* owner) {
    // A manager that is gone has nothing enabled to disable: the files go all the same.
    RunUserManager(
        {QStringLiteral("disable"), QStringLiteral("--now"), QString::fromLatin1(kTimerName)});
    const std::filesystem::path units = UserUnitDirectory();
    if (const FileResult removed = RemoveTimerUnits(units); !removed) {
        ShowMessage(owner,
                    kNotRemovedText.arg(DisplayText(units.string()),
                                        QString::fromStdString(removed.Reason())),
                    kProgramTitle, MessageIcon::Warning);
        return false;
    }
    RunUserManager({QStringLiteral("daemon-reload")});
    return true;
}

}  // namespace

std::filesystem::path AnnouncerPath() {
    const QString here = QCoreApplication::applicationDirPath();
    for (const QString& candidate : {here + QStringLiteral("/quaymark-announce"),
                                     here + QStringLiteral("/../cli/quaymark-announce")}) {
        if (QFile::exists(candidate)) {
            return std::filesystem::weakly_canonical(PathOf(candidate));
        }
    }
    const QString found = QStandardPaths::findExecutable(QStringLiteral("quaymark-announce"));
    return found.isEmpty() ? std::filesystem::path() : PathOf(found);
}

bool DailyJobOn() {
    return TimerUnitsWritten(UserUnitDirectory());
}

bool SetDailyJob(QWidget* owner, bool on) {
    if (on == DailyJobOn()) {
        return true;
    }
    return on ? Enable(owner) : Disable(owner);
}

}  // namespace quaymark::ui
