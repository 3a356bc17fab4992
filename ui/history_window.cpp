#include "ui/history_window.h"

#include <QDateTime>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>

#include "engine/classic/engine_table.h"
#include "engine/indexnow/indexnow.h"
#include "storage/atomic_file.h"
#include "storage/csv.h"
#include "storage/history.h"
#include "ui/byte_text.h"
#include "ui/desktop.h"
#include "ui/placement.h"
#include "ui/program_title.h"

namespace quaymark::ui {
namespace {

const QString kExportTitle = QStringLiteral("Export CSV");
const QString kExportName = QStringLiteral("quaymark-history.csv");
const QString kExportFailedText = QStringLiteral("The history could not be exported to %1: %2.");
const QString kSentToday = QStringLiteral("sent");
const QString kLeftSitemapsColumn = QStringLiteral("No longer in a sitemap");
const QString kCheckColumn = QStringLiteral("Check");
const QString kTextChangedColumn = QStringLiteral("Text last changed");
QString AnnouncerRunLine(const AnnouncerRun& run);

QString Moment(std::int64_t time) {
    return QDateTime::fromSecsSinceEpoch(time).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

const QString kGoogleIndexColumn = QStringLiteral("Google index");
const QString kLastCrawlColumn = QStringLiteral("Last crawl");

// "indexed", or "not indexed" with Google's coverage state.
QString IndexWords(const GoogleInspection& inspection) {
    if (inspection.verdict == "PASS") {
        return QStringLiteral("indexed");
    }
    const std::string& why = inspection.coverage.empty() ? inspection.verdict : inspection.coverage;
    return QStringLiteral("not indexed: ") + DisplayText(why);
}

// Google's time of its last crawl, in the window's own form; as Google gave it otherwise.
QString CrawlMoment(const std::string& lastCrawl) {
    const QDateTime when = QDateTime::fromString(QString::fromStdString(lastCrawl), Qt::ISODate);
    return when.isValid() ? Moment(when.toSecsSinceEpoch()) : DisplayText(lastCrawl);
}

// The columns: the address and the last day's mark, each engine and IndexNow, the last
// failure.
constexpr int kMarkColumn = 1;
constexpr int kFirstChannelColumn = 2;

QStringList ColumnNames() {
    QStringList names{QStringLiteral("Address"), QStringLiteral("Within 24 h")};
    for (const EngineRow& row : EngineTable) {
        names << QString::fromUtf8(row.name.data(), static_cast<qsizetype>(row.name.size()));
    }
    names << QString::fromUtf8(kIndexNowName.data(), static_cast<qsizetype>(kIndexNowName.size()))
          << QStringLiteral("Last failure");
    return names;
}

QString LastFailure(const HistoryRow& failure) {
    return Moment(failure.time) + QLatin1Char(' ') + QString::fromStdString(failure.channel) +
           QStringLiteral(": ") +
           DisplayText(failure.reason.empty() ? failure.verdict : failure.reason);
}

// "2026-12-09 06:12, by the daily timer: Announced 3 pages (...)." and how it ended.
QString AnnouncerRunLine(const AnnouncerRun& run) {
    const QString how = run.scheduled ? QStringLiteral("by the daily timer")
                                      : QStringLiteral("from the command line");
    const QString ended = run.exitStatus == 0
                              ? QString()
                              : QStringLiteral(" Failed (exit status %1).").arg(run.exitStatus);
    return Moment(run.time) + QStringLiteral(", ") + how + QStringLiteral(": ") +
           DisplayText(run.result) + ended;
}

}  // namespace

CHistoryDlg::CHistoryDlg(const std::vector<std::string>& addresses,
                         const HistoryKeeper::Contents& contents, std::int64_t now, QWidget* parent)
    : QDialog(parent),
      controls_(BuildDialog(*this, kTemplateId)),
      filterEdit_(controls_.Get<QLineEdit>("filter")),
      table_(controls_.Get<QTableWidget>("table")) {
    connect(filterEdit_, &QLineEdit::textChanged, this, &CHistoryDlg::OnFilter);
    connect(controls_.Get<QPushButton>("export"), &QPushButton::clicked, this,
            &CHistoryDlg::OnExport);
    connect(controls_.Get<QPushButton>("close"), &QPushButton::clicked, this, &QDialog::accept);
    auto* removeButton = controls_.Get<QPushButton>("removeRemoved");
    connect(removeButton, &QPushButton::clicked, this, &CHistoryDlg::OnRemoveRemoved);
    const std::unordered_map<std::string, AddressHistory>& summaries = contents.summaries;

    // The pages that left every sitemap get a column of their own, only when there are any.
    std::unordered_map<std::string, std::int64_t> leftSitemaps;
    for (const RemovedPage& page : contents.removed) {
        leftSitemaps.emplace(page.address, page.since);
    }
    QStringList columns = ColumnNames();
    const int lastFailureColumn = static_cast<int>(columns.size()) - 1;
    if (!leftSitemaps.empty()) {
        columns << kLeftSitemapsColumn;
    }
    // What the pages' checks found, once there are any.
    const int checkColumn = static_cast<int>(columns.size());
    if (!contents.checks.empty()) {
        columns << kCheckColumn << kTextChangedColumn;
    }
    // What Google said of the pages, once it has said anything.
    const int googleColumn = static_cast<int>(columns.size());
    if (!contents.inspections.empty()) {
        columns << kGoogleIndexColumn << kLastCrawlColumn;
    }
    table_->setColumnCount(static_cast<int>(columns.size()));
    table_->setHorizontalHeaderLabels(columns);
    table_->setRowCount(static_cast<int>(addresses.size()));
    for (int row = 0; row < table_->rowCount(); ++row) {
        const std::string& address = addresses[static_cast<std::size_t>(row)];
        auto* addressItem = new QTableWidgetItem(DisplayText(address));
        addressItem->setData(Qt::UserRole, QByteArray::fromStdString(address));
        table_->setItem(row, 0, addressItem);
        if (const auto left = leftSitemaps.find(address); left != leftSitemaps.end()) {
            table_->setItem(row, lastFailureColumn + 1, new QTableWidgetItem(Moment(left->second)));
            QFont italic = addressItem->font();
            italic.setItalic(true);
            addressItem->setFont(italic);
            removedInList_.push_back(address);
        }
        if (const auto check = contents.checks.find(address); check != contents.checks.end()) {
            const PageCheckRecord& found = check->second;
            table_->setItem(
                row, checkColumn,
                new QTableWidgetItem(DisplayText(
                    found.detail.empty() ? found.verdict : found.verdict + ": " + found.detail)));
            if (found.textChangedAt) {
                table_->setItem(row, checkColumn + 1,
                                new QTableWidgetItem(Moment(*found.textChangedAt)));
            }
        }
        if (const auto inspection = contents.inspections.find(address);
            inspection != contents.inspections.end()) {
            table_->setItem(row, googleColumn,
                            new QTableWidgetItem(IndexWords(inspection->second)));
            if (!inspection->second.lastCrawl.empty()) {
                table_->setItem(row, googleColumn + 1,
                                new QTableWidgetItem(CrawlMoment(inspection->second.lastCrawl)));
            }
        }
        const auto known = summaries.find(address);
        if (known == summaries.end()) {
            continue;
        }
        const AddressHistory& past = known->second;
        for (int column = kFirstChannelColumn; column < lastFailureColumn; ++column) {
            const auto accepted = past.lastAccepted.find(columns[column].toStdString());
            if (accepted != past.lastAccepted.end()) {
                table_->setItem(row, column, new QTableWidgetItem(Moment(accepted->second)));
            }
        }
        if (past.lastFailure) {
            table_->setItem(row, lastFailureColumn,
                            new QTableWidgetItem(LastFailure(*past.lastFailure)));
        }
        if (past.lastSentToEngine && now - *past.lastSentToEngine < kDaySeconds) {
            table_->setItem(row, kMarkColumn, new QTableWidgetItem(kSentToday));
            QFont bold = addressItem->font();
            bold.setBold(true);
            addressItem->setFont(bold);
        }
    }
    table_->resizeColumnsToContents();
    auto* sitemapList = controls_.Get<QListWidget>("sitemaps");
    for (const RememberedSitemap& sitemap : contents.sitemaps) {
        sitemapList->addItem(DisplayText(sitemap.site) + QStringLiteral(": ") +
                             DisplayText(sitemap.sitemap) + QStringLiteral(", read ") +
                             Moment(sitemap.readAt));
    }
    auto* runList = controls_.Get<QListWidget>("announcerRuns");
    for (const AnnouncerRun& run : contents.announcerRuns) {
        runList->addItem(AnnouncerRunLine(run));
    }
    removeButton->setEnabled(!removedInList_.empty());
    CentreOnScreen(*this);
}

void CHistoryDlg::OnRemoveRemoved() {
    pagesToRemove_ = removedInList_;
    accept();
}

void CHistoryDlg::OnFilter() {
    const QString text = filterEdit_->text();
    for (int row = 0; row < table_->rowCount(); ++row) {
        table_->setRowHidden(row,
                             !table_->item(row, 0)->text().contains(text, Qt::CaseInsensitive));
    }
}

std::vector<std::vector<std::string>> CHistoryDlg::ShownRows() const {
    std::vector<std::vector<std::string>> rows(1);
    for (int column = 0; column < table_->columnCount(); ++column) {
        rows[0].push_back(table_->horizontalHeaderItem(column)->text().toStdString());
    }
    for (int row = 0; row < table_->rowCount(); ++row) {
        if (table_->isRowHidden(row)) {
            continue;
        }
        std::vector<std::string>& fields = rows.emplace_back();
        fields.push_back(table_->item(row, 0)->data(Qt::UserRole).toByteArray().toStdString());
        for (int column = 1; column < table_->columnCount(); ++column) {
            const QTableWidgetItem* item = table_->item(row, column);
            fields.push_back(item != nullptr ? item->text().toStdString() : std::string());
        }
    }
    return rows;
}

void CHistoryDlg::OnExport() {
    const QString chosen = AskSaveFile(this, kExportTitle, kExportName);
    if (chosen.isEmpty()) {
        return;
    }
    const std::filesystem::path file(QFile::encodeName(chosen).toStdString());
    if (const FileResult written = WriteFileAtomically(file, FormatCsv(ShownRows())); !written) {
        ShowMessage(this,
                    kExportFailedText.arg(DisplayText(file.string()),
                                          QString::fromStdString(written.Reason())),
                    kProgramTitle, MessageIcon::Warning);
    }
}

}  // namespace quaymark::ui
