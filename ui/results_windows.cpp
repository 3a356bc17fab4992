#include "ui/results_windows.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QPushButton>
#include <QUrl>

#include "app/profile.h"
#include "app/session.h"
#include "ui/byte_text.h"
#include "ui/desktop.h"
#include "ui/program_title.h"

namespace quaymark::ui {
namespace {

const QString kNothingSelectedText =
    QStringLiteral("Select an error displayed and click VIEW again.");
const QString kNothingSelectedTitle = QStringLiteral("Nothing was selected");
const QString kResubmitFailedText = QStringLiteral("The sites listed failed to be re-submitted.");
const QString kResubmitDoneText = QStringLiteral("Re-submission Successfull!.");

QString PageDirectory() {
    return QFile::decodeName(QByteArray::fromStdString(ErrorPageDirectory().string()));
}

// Every file of the program's error-page directory whose name marks it as an error page.
void SweepErrorPages() {
    QDir pages(PageDirectory());
    for (const QString& name : pages.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (IsSweptErrorPageName(name.toStdString())) {
            pages.remove(name);
        }
    }
}

}  // namespace

CDoneDlg::CDoneDlg(QWidget* parent) : QDialog(parent) {
    const DialogControls controls = BuildDialog(*this, kTemplateId);
    connect(controls.Get<QPushButton>("ok"), &QPushButton::clicked, this, &QDialog::accept);
}

CFailedDlg::CFailedDlg(RunResult result, RunStarter& runs, QWidget* parent)
    : QDialog(parent),
      controls_(BuildDialog(*this, kTemplateId)),
      list_(controls_.Get<QListWidget>("list")),
      result_(std::move(result)),
      runs_(runs) {
    connect(controls_.Get<QPushButton>("ok"), &QPushButton::clicked, this, &CFailedDlg::OnOK);
    connect(controls_.Get<QPushButton>("view"), &QPushButton::clicked, this, &CFailedDlg::OnView);
    connect(controls_.Get<QPushButton>("resubmit"), &QPushButton::clicked, this,
            &CFailedDlg::OnResubmit);
    ShowFailureLines();
}

void CFailedDlg::ShowFailureLines() {
    list_->clear();
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(result_.FailureList.size()));
    for (const Failure& failure : result_.FailureList) {
        lines << DisplayText(FailureLine(failure));
    }
    list_->addItems(lines);
}

void CFailedDlg::OnView() {
    if (runs_.UnderWay()) {
        return;
    }
    const QList<QListWidgetItem*> chosen = list_->selectedItems();
    if (chosen.isEmpty()) {
        ShowMessage(this, kNothingSelectedText, kNothingSelectedTitle);
        return;
    }
    const Failure& failure =
        result_.FailureList.at(static_cast<std::size_t>(list_->row(chosen.front())));
    const QFileInfo page(QFile::decodeName(QByteArray::fromStdString(failure.page.string())));
    if (page.exists()) {
        OpenWithShell(QUrl::fromLocalFile(page.absoluteFilePath()));
    }
}

void CFailedDlg::OnResubmit() {
    if (runs_.UnderWay()) {
        return;
    }
    // The progress window is the failures window's own, so that it takes input while this
    // modal window is open.
    std::optional<RunResult> result = runs_.SubmitList(result_.ResubmitList, this);
    if (!result) {
        return;
    }
    if (result->failed) {
        result_ = std::move(*result);
        ShowFailureLines();
        ShowMessage(this, kResubmitFailedText, kProgramTitle);
    } else {
        ShowMessage(this, kResubmitDoneText, kProgramTitle);
    }
}

void CFailedDlg::OnOK() {
    if (runs_.UnderWay()) {
        return;
    }
    SweepErrorPages();
    QDialog::accept();
}

void CFailedDlg::accept() {
    OnOK();
}

// Esc and the close box mean View here: only OK closes the window.
void CFailedDlg::reject() {
    OnView();
}

}  // namespace quaymark::ui
