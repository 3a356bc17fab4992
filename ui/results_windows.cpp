#include "ui/results_windows.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QPushButton>
#include <QUrl>

#include "engine/classify.h"
#include "ui/byte_text.h"
#include "ui/desktop.h"
#include "ui/program_dirs.h"
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
      m_controls(BuildDialog(*this, kTemplateId)),
      m_list(m_controls.Get<QListWidget>("list")),
      m_result(std::move(result)),
      m_runs(runs) {
    connect(m_controls.Get<QPushButton>("ok"), &QPushButton::clicked, this, &CFailedDlg::OnOK);
    connect(m_controls.Get<QPushButton>("view"), &QPushButton::clicked, this, &CFailedDlg::OnView);
    connect(m_controls.Get<QPushButton>("resubmit"), &QPushButton::clicked, this,
            &CFailedDlg::OnResubmit);
    ShowFailureLines();
}

void CFailedDlg::ShowFailureLines() {
    m_list->clear();
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(m_result.FailureList.size()));
    for (const Failure& failure : m_result.FailureList) {
        lines << DisplayText(failure.line);
    }
    m_list->addItems(lines);
}

void CFailedDlg::OnView() {
    if (m_runs.UnderWay()) {
        return;
    }
    const QList<QListWidgetItem*> chosen = m_list->selectedItems();
    if (chosen.isEmpty()) {
        ShowMessage(this, kNothingSelectedText, kNothingSelectedTitle);
        return;
    }
    const Failure& failure =
        m_result.FailureList.at(static_cast<std::size_t>(m_list->row(chosen.front())));
    const QFileInfo page(QFile::decodeName(QByteArray::fromStdString(failure.page.string())));
    if (page.exists()) {
        OpenWithShell(QUrl::fromLocalFile(page.absoluteFilePath()));
    }
}

void CFailedDlg::OnResubmit() {
    if (m_runs.UnderWay()) {
        return;
    }
    // The progress window is the failures window's own, so that it takes input while this
    // modal window is open.
    RunResult result = m_runs.SubmitList(m_result.ResubmitList, this);
    if (result.failed) {
        m_result = std::move(result);
        ShowFailureLines();
        ShowMessage(this, kResubmitFailedText, kProgramTitle);
    } else {
        ShowMessage(this, kResubmitDoneText, kProgramTitle);
    }
}

void CFailedDlg::OnOK() {
    if (m_runs.UnderWay()) {
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
