#include "ui/daily_job.h"

#include <QCoreApplication>

#include "app/daily_job.h"
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

// The desktop's user manager (or a test's), as the daily job asks it.
ManagerAnswer AskDesktop(const std::vector<std::string>& arguments) {
    QStringList words;
    for (const std::string& argument : arguments) {
        words << QString::fromStdString(argument);
    }
    const UserManagerAnswer answer = RunUserManager(words);
    return {
        .ran = answer.ran, .exitStatus = answer.exitStatus, .output = answer.output.toStdString()};
}

// The change in the window's words; whether it was made.
bool Told(QWidget* owner, const std::filesystem::path& announcer, const DailyJobChange& change) {
    using Kind = DailyJobChange::Kind;
    const QString detail = QString::fromStdString(change.detail);
    const QString crontab = DisplayText(change.crontab);
    const QString units = DisplayText(UserUnitDirectory().string());
    QString text;
    switch (change.kind) {
        case Kind::Done:
            return true;
        case Kind::RefusedPath: {
            const char refused = change.detail.front();
            const QString shown = refused == '"' || refused == '\'' || refused == '\\'
                                      ? QString(QLatin1Char(refused))
                                      : QStringLiteral("a control character");
            text = kRefusedPathText.arg(DisplayText(announcer.string()), shown, crontab);
            break;
        }
        case Kind::NotWritten:
            text = kUnitsNotWrittenText.arg(units, detail);
            break;
        case Kind::NoUserManager:
            text = kNoUserManagerText.arg(detail, crontab);
            break;
        case Kind::NotEnabled:
            text = kNotEnabledText.arg(detail);
            break;
        case Kind::NotRemoved:
            text = kNotRemovedText.arg(units, detail);
            break;
    }
    ShowMessage(owner, text, kProgramTitle, MessageIcon::Warning);
    return false;
}

bool Enable(QWidget* owner) {
    const std::filesystem::path announcer = AnnouncerPath();
    if (announcer.empty()) {
        ShowMessage(owner, kNoAnnouncerText.arg(QCoreApplication::applicationDirPath()),
                    kProgramTitle, MessageIcon::Warning);
        return false;
    }
    return Told(owner, announcer, EnableDailyJob(announcer, &AskDesktop));
}

bool Disable(QWidget* owner) {
    return Told(owner, {}, DisableDailyJob(&AskDesktop));
}

}  // namespace

std::filesystem::path AnnouncerPath() {
    return FindAnnouncer();
}

bool DailyJobOn() {
    return quaymark::DailyJobOn();
}

bool SetDailyJob(QWidget* owner, bool on) {
    if (on == DailyJobOn()) {
        return true;
    }
    return on ? Enable(owner) : Disable(owner);
}

}  // namespace quaymark::ui
