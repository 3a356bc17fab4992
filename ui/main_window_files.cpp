#include "ui/main_window.h"

#include <ctime>

#include "app/profile.h"
#include "base/product.h"
#include "storage/program_paths.h"
#include "storage/url_list_file.h"
#include "ui/byte_text.h"
#include "ui/channels_window.h"
#include "ui/daily_job.h"
#include "ui/desktop.h"
#include "ui/program_title.h"

// The main window's part that loads the user's three files at start (the list, the IndexNow
// settings, the history) and saves what changes.
namespace quaymark::ui {
namespace {

const QString kName =
    QString::fromUtf8(kProgramName.data(), static_cast<qsizetype>(kProgramName.size()));
const QString kUnreadableText = QStringLiteral(
    "The list file %1 could not be read: %2.\n\n"
    "%3 opens with an empty list and leaves that file as it is.");
const QString kRescuedText = QStringLiteral(
    "The list file %1 could not be read at start and was left as it is.\n\n"
    "Your list was saved to %2.");
const QString kSaveFailedText = QStringLiteral("Your list could not be saved to %1: %2.");
const QString kIndexNowUnreadableText = QStringLiteral(
    "The IndexNow settings file %1 could not be read: %2.\n\n"
    "IndexNow stays off, and the file is left as it is.");
const QString kIndexNowKeptText = QStringLiteral(
    "The IndexNow settings file %1 could not be read at start and is left as it is: these "
    "settings last until %2 ends.");
const QString kGoogleKeyUnreadableText = QStringLiteral(
    "The key of Google Search Console, %1, could not be taken: %2.\n\n"
    "Google Search Console stays off until its key is chosen again in the Channels window.");
const QString kGoogleKeySaveFailedText =
    QStringLiteral("The key of Google Search Console could not be kept in %1: %2.");
const QString kIndexNowSaveFailedText =
    QStringLiteral("The IndexNow settings could not be saved to %1: %2.");

// A message about one of the user's files: the text's %1 is the file, %2 the reason.
QString FileProblem(const QString& text, const std::filesystem::path& file,
                    const FileResult& result) {
    return text.arg(DisplayText(file.string()), QString::fromStdString(result.Reason()));
}

}  // namespace

void CSubmitDlg::LoadList() {
    std::vector<std::string> entries;
    const FileResult loaded = LoadUrlList(listFile_, entries, m_strEmail);
    if (!loaded) {
        listUnreadable_ = !loaded.Missing();
        if (listUnreadable_) {
            ShowMessage(this, FileProblem(kUnreadableText, listFile_, loaded).arg(kName),
                        kProgramTitle, MessageIcon::Warning);
        }
        return;
    }
    const ChangingControls changing(changingControls_);
    for (const std::string& entry : entries) {
        AddEntry(entry);
    }
}

// The history is looked at once, at start: what is wrong with it is told then, and the runs
// go on without one when there is none. A history not yet there is made when first needed.
void CSubmitDlg::OpenHistory() {
    connect(&history_, &HistoryKeeper::failed, this, [this](const QString& text) {
        const auto tell = [this, text] {
            ShowMessage(this, text, kProgramTitle, MessageIcon::Warning);
        };
        // A failure while a run writes is told when the run has ended.
        runs_.UnderWay() ? runs_.CallWhenRunEnds(this, tell) : tell();
    });
    if (const QString problem = history_.OpenAtStart(); !problem.isEmpty()) {
        ShowMessage(this, problem, kProgramTitle, MessageIcon::Warning);
    }
}

void CSubmitDlg::LoadChannels() {
    ChannelsLoaded loaded = quaymark::LoadChannels();
    indexNowUnreadable_ = loaded.SettingsUnreadable();
    if (indexNowUnreadable_) {
        ShowMessage(this,
                    FileProblem(kIndexNowUnreadableText, loaded.settingsFile, loaded.settings),
                    kProgramTitle, MessageIcon::Warning);
    }
    if (loaded.googleKey != KeyProblem::None) {
        TellKeyNotTaken(loaded.googleKeyFile, loaded.googleKey);
    }
    runs_.SetChannels(std::move(loaded.channels));
}

void CSubmitDlg::TakeGoogleKey(ChannelSettings& channels) {
    KeyReading reading = quaymark::TakeGoogleKey(channels.settings);
    if (reading.problem != KeyProblem::None) {
        TellKeyNotTaken(GoogleKeyPath(), reading.problem);
    }
    channels.googleKey = std::move(reading.key);
}

void CSubmitDlg::TellKeyNotTaken(const std::filesystem::path& file, KeyProblem problem) {
    ShowMessage(this,
                kGoogleKeyUnreadableText.arg(DisplayText(file.string()),
                                             QString::fromStdString(Describe(problem))),
                kProgramTitle, MessageIcon::Warning);
}

void CSubmitDlg::OnChannels() {
    ChannelSettings channels = runs_.channels();
    CChannelsDlg dialog(channels.settings, DailyJobOn(), Entries(), runs_.routing(), this);
    // A key kept while Google is off is shown all the same, so that ticking it needs no new one.
    std::string account = channels.googleKey ? channels.googleKey->clientEmail : std::string();
    if (account.empty()) {
        if (const KeyReading kept = LoadServiceKey(GoogleKeyPath()); kept.key) {
            account = kept.key->clientEmail;
        }
    }
    dialog.ShowGoogleKey(account);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    if (!dialog.newGoogleKey().empty()) {
        const std::filesystem::path key = GoogleKeyPath();
        if (const FileResult saved = SaveServiceKeyFile(key, dialog.newGoogleKey()); !saved) {
            ShowMessage(this, FileProblem(kGoogleKeySaveFailedText, key, saved), kProgramTitle,
                        MessageIcon::Warning);
        }
    }
    SetDailyJob(this, dialog.daily());
    channels.settings = dialog.settings();
    TakeGoogleKey(channels);
    runs_.SetChannels(channels);
    const std::filesystem::path file = IndexNowSettingsPath();
    if (indexNowUnreadable_) {
        ShowMessage(this, kIndexNowKeptText.arg(DisplayText(file.string()), kName), kProgramTitle);
        return;
    }
    if (const FileResult saved = SaveIndexNowSettings(file, channels.settings); !saved) {
        ShowMessage(this, FileProblem(kIndexNowSaveFailedText, file, saved), kProgramTitle,
                    MessageIcon::Warning);
    }
}

// Saves the list where it belongs; a failure is told, with the choice to try again or to
// close without saving.
void CSubmitDlg::SaveList() {
    const std::filesystem::path target =
        listUnreadable_ ? RescuePath(listFile_, std::time(nullptr)) : listFile_;
    FileResult saved;
    do {
        saved = SaveUrlList(target, Entries(), m_strEmail);
    } while (!saved && AskRetry(this, FileProblem(kSaveFailedText, target, saved), kProgramTitle));
    if (saved && listUnreadable_) {
        ShowMessage(this,
                    kRescuedText.arg(DisplayText(listFile_.string()), DisplayText(target.string())),
                    kProgramTitle);
    }
}

}  // namespace quaymark::ui
