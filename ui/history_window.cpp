#include "ui/history_window.h"

#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>

#include "app/profile.h"
#include "ui/byte_text.h"
#include "ui/desktop.h"
#include "ui/history_model.h"
#include "ui/placement.h"
#include "ui/program_title.h"

namespace quaymark::ui {
namespace {

const QString kExportTitle = QStringLiteral("Export CSV");
const QString kExportName = QStringLiteral("quaymark-history.csv");
const QString kExportFailedText = QStringLiteral("The history could not be exported to %1: %2.");

}  // namespace

CHistoryDlg::CHistoryDlg(const std::vector<std::string>& addresses, const HistoryContents& contents,
                         std::int64_t now, QWidget* parent)
    : CHistoryDlg(MakeHistoryTable(addresses, contents, now), contents, parent) {}

CHistoryDlg::CHistoryDlg(HistoryTable table, const HistoryContents& contents, QWidget* parent)
    : QDialog(parent),
      controls_(BuildDialog(*this, kTemplateId)),
      filterEdit_(controls_.Get<QLineEdit>("filter")),
      model_(new HistoryModel(std::move(table), this)),
      shown_(new QSortFilterProxyModel(this)) {
    connect(filterEdit_, &QLineEdit::textChanged, this, &CHistoryDlg::OnFilter);
    connect(controls_.Get<QPushButton>("export"), &QPushButton::clicked, this,
            &CHistoryDlg::OnExport);
    connect(controls_.Get<QPushButton>("close"), &QPushButton::clicked, this, &QDialog::accept);
    connect(controls_.Get<QPushButton>("sites"), &QPushButton::clicked, this,
            &CHistoryDlg::sitesAsked);
    auto* removeButton = controls_.Get<QPushButton>("removeRemoved");
    connect(removeButton, &QPushButton::clicked, this, &CHistoryDlg::OnRemoveRemoved);
    for (const HistoryTable::Row& row : model_->table().rows) {
        if (row.leftSitemaps) {
            removedInList_.push_back(row.address);
        }
    }
    shown_->setSourceModel(model_);
    shown_->setFilterKeyColumn(0);
    shown_->setFilterCaseSensitivity(Qt::CaseInsensitive);
    auto* view = controls_.Get<QTableView>("table");
    view->setModel(shown_);
    view->resizeColumnsToContents();
    auto* sitemapList = controls_.Get<QListWidget>("sitemaps");
    for (const RememberedSitemap& sitemap : contents.sitemaps) {
        sitemapList->addItem(DisplayText(SitemapLine(sitemap)));
    }
    auto* runList = controls_.Get<QListWidget>("announcerRuns");
    for (const AnnouncerRun& run : contents.announcerRuns) {
        runList->addItem(DisplayText(AnnouncerRunLine(run)));
    }
    removeButton->setEnabled(!removedInList_.empty());
    CentreOnScreen(*this);
}

void CHistoryDlg::OnRemoveRemoved() {
    pagesToRemove_ = removedInList_;
    accept();
}

void CHistoryDlg::OnFilter() {
    shown_->setFilterFixedString(filterEdit_->text());
}

std::vector<std::vector<std::string>> CHistoryDlg::ShownRows() const {
    const HistoryTable& table = model_->table();
    std::vector<std::vector<std::string>> rows{table.columns};
    for (int shown = 0; shown < shown_->rowCount(); ++shown) {
        const HistoryTable::Row& row =
            table
                .rows[static_cast<std::size_t>(shown_->mapToSource(shown_->index(shown, 0)).row())];
        std::vector<std::string>& fields = rows.emplace_back();
        fields.push_back(row.address);
        fields.insert(fields.end(), row.cells.begin(), row.cells.end());
    }
    return rows;
}

void CHistoryDlg::OnExport() {
    const QString chosen = AskSaveFile(this, kExportTitle, kExportName);
    if (chosen.isEmpty()) {
        return;
    }
    const std::filesystem::path file(QFile::encodeName(chosen).toStdString());
    if (const FileResult written = WriteFileAtomically(file, HistoryCsv(ShownRows())); !written) {
        ShowMessage(this,
                    kExportFailedText.arg(DisplayText(file.string()),
                                          QString::fromStdString(written.Reason())),
                    kProgramTitle, MessageIcon::Warning);
    }
}

}  // namespace quaymark::ui
