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

namespace quaymark::ui {
namespace {

const QString kNothingSelectedText =
    QStringLiteral("Select an error displayed and click VIEW again.");
const QString kNothingSelectedTitle = QStringLiteral("Nothing was selected");
const QString kResubmitFailedText = QStringLiteral("The sites listed failed to be re-submitted.");
const QString kResubmitDoneText = QStringLiteral("Re-submission Successfull!.");
const QString kResultsTitle = QStringLiteral("Quaymark!");

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
    connect(controls.Get<QPushButton>(1), &QPushButton::clicked, this, &QDialog::accept);
}

CFailedDlg::CFailedDlg(const std::vector<std::string>& failureList,
                       const std::vector<std::string>& resubmitList, RunStarter& runs,
                       QWidget* parent)
    : QDialog(parent), m_pFailureList(&failureList), m_pResubmitList(&resubmitList), m_runs(runs) {
    m_controls = BuildDialog(*this, kTemplateId);
    connect(m_controls.Get<QPushButton>(1), &QPushButton::clicked, this, &CFailedDlg::OnOK);
    connect(m_controls.Get<QPushButton>(kViewId), &QPushButton::clicked, this, &CFailedDlg::OnView);
    connect(m_controls.Get<QPushButton>(kResubmitId), &QPushButton::clicked, this,
            &CFailedDlg::OnResubmit);
    ShowFailureLines();
}

CFailedDlg::~CFailedDlg() = default;

void CFailedDlg::ShowFailureLines() {
    auto* list = m_controls.Get<QListWidget>(kListId);
    list->clear();
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(m_pFailureList->size()));
    for (const std::string& line : *m_pFailureList) {
        lines << DisplayText(line);
    }
    list->addItems(lines);
}

void CFailedDlg::OnView() {
    if (m_runs.UnderWay()) {
        return;
    }
    auto* list = m_controls.Get<QListWidget>(kListId);
    const QList<QListWidgetItem*> chosen = list->selectedItems();
    if (chosen.isEmpty()) {
        ShowMessage(this, kNothingSelectedText, kNothingSelectedTitle);
        return;
    }
    const int selected = list->row(chosen.front());
    const QFileInfo page(QDir(PageDirectory()), QString::fromStdString(ErrorPageName(selected)));
    if (page.exists()) {
        OpenWithShell(QUrl::fromLocalFile(page.absoluteFilePath()));
    }
}

void CFailedDlg::OnResubmit() {
    if (m_runs.UnderWay()) {
        return;
    }
    // The progress window is the failures window's own, so that it takes input while this
    // modal window is open. A resend carries no e-mail address of its own.
    RunResult result = m_runs.SubmitList(*m_pResubmitList, SubmitJob::Resend, {}, this);
    if (result.failed) {
        m_resubmitResults = std::move(result);
        m_pFailureList = &m_resubmitResults.FailureList;
        m_pResubmitList = &m_resubmitResults.ResubmitList;
        ShowFailureLines();
        ShowMessage(this, kResubmitFailedText, kResultsTitle);
    } else {
        ShowMessage(this, kResubmitDoneText, kResultsTitle);
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
