#include "ui/main_window.h"

#include <ctime>

#include "app/profile.h"
#include "base/product.h"
#include "ui/byte_text.h"
#include "ui/channels_window.h"
#include "ui/desktop.h"
#include "ui/program_title.h"

// The main window's part that loads the user's three files at start (the list, the channel
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
    channelsUnreadable_ = loaded.SettingsUnreadable();
    TellChannelsLoaded(this, loaded);
    runs_.SetChannels(std::move(loaded.channels));
}

void CSubmitDlg::OnChannels() {
    if (std::optional<ChannelSettings> changed =
            EditChannels(this, runs_.channels(), channelsUnreadable_, Entries(), runs_.routing())) {
        runs_.SetChannels(std::move(*changed));
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
