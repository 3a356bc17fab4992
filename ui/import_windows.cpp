#include "ui/import_windows.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <climits>
#include <functional>
#include <unordered_set>

#include "app/sites.h"
#include "base/counted.h"
#include "ui/byte_text.h"
#include "ui/desktop.h"
#include "ui/placement.h"
#include "ui/program_title.h"

namespace quaymark::ui {
namespace {

const QString kImportedText = QStringLiteral(
    "%1 found in the sitemaps, %2 of them new: the new ones were added at the end of the list.");
const QString kNothingImportedText = QStringLiteral("Nothing was imported.");
const QString kNothingFoundText = QStringLiteral("No addresses were found in the sitemaps.");
const QString kNoneNewText =
    QStringLiteral("%1 found in the sitemaps, none of them new: the list is unchanged.");
const QString kKeepPartText =
    QStringLiteral("%1\n\nRead before that: %2. Add the new ones to the list?");
const QString kImportCancelledText = QStringLiteral("The import was cancelled.");
const QString kImportFailedText = QStringLiteral("The import did not complete:");

constexpr std::size_t kFailuresShown = 5;
// An example is a line of the message, not a page of it.
constexpr qsizetype kExampleLength = 160;

QString Example(const std::string& line) {
    QString text = DisplayText(line);
    if (text.size() > kExampleLength) {
        text = text.left(kExampleLength - 1) + QChar(0x2026);
    }
    return QStringLiteral("    ") + text;
}

QString Heading(ImportNote note, std::size_t count) {
    const int n = static_cast<int>(std::min<std::size_t>(count, INT_MAX));
    switch (note) {
        case ImportNote::NamedAgain:
            return QObject::tr("%n sitemap(s) named again, read once", nullptr, n);
        case ImportNote::OtherHosts:
            return QObject::tr("%n sitemap(s) listing addresses of other hosts, left out", nullptr,
                               n);
        case ImportNote::NotAddresses:
            return QObject::tr(
                "%n sitemap(s) listing entries that are not http or https "
                "addresses on one line, left out",
                nullptr, n);
        case ImportNote::TooLong:
            return QObject::tr("%n sitemap(s) listing addresses that are too long, left out",
                               nullptr, n);
        case ImportNote::Credentials:
            return QObject::tr(
                "%n sitemap(s) listing addresses with a user name or password, "
                "left out",
                nullptr, n);
        case ImportNote::OtherHostSitemaps:
            return QObject::tr("%n index(es) naming sitemaps of other hosts, left out", nullptr, n);
        case ImportNote::BeyondNesting:
            return QObject::tr("%n index(es) naming sitemaps beyond the nesting limit, not read",
                               nullptr, n);
        case ImportNote::NotRead:
            return QObject::tr("Sitemaps not read");
    }
    return {};
}

}  // namespace

QString FailureLine(const SitemapFailure& failure) {
    return DisplayText(FailureText(failure));
}

ImportReport ReportImport(const SitemapImport& import) {
    ImportReport report;
    QStringList failures;
    QStringList details;
    for (const SitemapFailure& failure : import.failures) {
        const QString line = FailureLine(failure);
        if (static_cast<std::size_t>(failures.size()) < kFailuresShown) {
            failures << line;
        }
        details << line;
    }
    if (import.failures.size() > kFailuresShown) {
        failures << QObject::tr("and %1 more (see the details)")
                        .arg(import.failures.size() - kFailuresShown);
    }
    report.failures = failures.join(QLatin1Char('\n'));
    QStringList notes;
    for (const ImportNotes::Reason& reason : import.notes.reasons) {
        notes << Heading(reason.note, reason.count) + QLatin1Char(':');
        for (const std::string& example : reason.examples) {
            notes << Example(example);
        }
    }
    report.notes = notes.join(QLatin1Char('\n'));
    for (const std::string& line : import.notes.lines) {
        details << DisplayText(line);
    }
    if (import.notes.linesLeftOut > 0) {
        details << QObject::tr("and %1 more notes").arg(import.notes.linesLeftOut);
    }
    // One line alone says all there is: no details behind it.
    if (details.size() > 1) {
        report.details = details.join(QLatin1Char('\n'));
    }
    return report;
}

CImportDlg::CImportDlg(QWidget* parent)
    : QDialog(parent),
      controls_(BuildDialog(*this, kTemplateId)),
      addressEdit_(controls_.Get<QLineEdit>("address")) {
    connect(controls_.Get<QPushButton>("ok"), &QPushButton::clicked, this, &CImportDlg::accept);
    connect(controls_.Get<QPushButton>("cancel"), &QPushButton::clicked, this, &CImportDlg::reject);
    addressEdit_->setText(QStringLiteral("https://"));
}

std::string CImportDlg::address() const {
    return addressEdit_->text().trimmed().toStdString();
}

void CImportDlg::accept() {
    if (!HostOf(address())) {
        ShowMessage(this,
                    QStringLiteral("Enter a site's address such as https://www.example.com/, or "
                                   "a sitemap's such as https://www.example.com/sitemap.xml"),
                    kProgramTitle);
        return;
    }
    QDialog::accept();
}

CImportProgressDlg::CImportProgressDlg(QWidget* owner)
    : QDialog(owner),
      controls_(BuildDialog(*this, kTemplateId)),
      sitemapText_(controls_.Get<QLabel>("sitemap")),
      foundText_(controls_.Get<QLabel>("found")) {
    // While an import is under way the other windows take no input.
    setWindowModality(Qt::ApplicationModal);
    sitemapText_->setWordWrap(false);
    connect(controls_.Get<QPushButton>("cancel"), &QPushButton::clicked, this,
            &CImportProgressDlg::reject);
    // The UI thread looks once a frame; the worker wakes nobody.
    frame_.setInterval(kFrameMilliseconds);
    connect(&frame_, &QTimer::timeout, this, &CImportProgressDlg::ShowLatest);
    frame_.start();
    CentreOnScreen(*this);
}

template <typename Change>
void CImportProgressDlg::Update(Change change) {
    const std::lock_guard lock(stateMutex_);
    change();
    changed_ = true;
}

void CImportProgressDlg::SitemapStarted(const std::string& url) {
    Update([&] { sitemap_ = url; });
}

void CImportProgressDlg::AddressesFound(std::size_t count) {
    Update([&] { found_ = count; });
}

void CImportProgressDlg::ShowLatest() {
    std::string sitemap;
    std::size_t found = 0;
    {
        const std::lock_guard lock(stateMutex_);
        if (!changed_) {
            return;
        }
        sitemap = sitemap_;
        found = found_;
        changed_ = false;
    }
    sitemapText_->setText(DisplayText(sitemap));
    foundText_->setText(QString::fromStdString(CountOfAddresses(found)));
}

void CImportProgressDlg::reject() {
    emit cancelRequested();
}

void MergeImport(QWidget* owner, SitemapImport import, const std::vector<std::string>& entries,
                 const ImportTaking& taking) {
    const ImportReport report = ReportImport(import);
    const bool complete = import.failures.empty() && !import.cancelled;
    if (!complete) {
        const QString problem =
            (import.cancelled ? kImportCancelledText : kImportFailedText) +
            (report.failures.isEmpty() ? QString() : QLatin1Char('\n') + report.failures);
        if (import.pages.empty()) {
            ShowMessage(owner, problem + QStringLiteral("\n\n") + kNothingImportedText,
                        kProgramTitle, MessageIcon::Warning, report.details);
            return;
        }
        const QString found = QString::fromStdString(CountOfAddresses(import.pages.size()));
        if (!AskYesNo(owner, kKeepPartText.arg(problem, found), kProgramTitle, report.details)) {
            return;
        }
    }
    std::unordered_set<std::string_view> known(entries.begin(), entries.end());
    std::vector<std::pair<std::string, std::int64_t>> lastmods;
    std::size_t added = 0;
    // The import holds each page once: only the list's own entries need looking up.
    for (SitemapPage& page : import.pages) {
        if (!known.contains(page.url) && taking.add(page.url)) {
            ++added;
        }
        if (page.lastmod) {
            lastmods.emplace_back(std::move(page.url), *page.lastmod);
        }
    }
    const QString found = QString::fromStdString(CountOfAddresses(import.pages.size()));
    QString text = import.pages.empty() ? kNothingFoundText
                   : added == 0         ? kNoneNewText.arg(found)
                                        : kImportedText.arg(found, QString::number(added));
    if (!report.notes.isEmpty()) {
        text += QStringLiteral("\n\n") + report.notes;
    }
    if (!lastmods.empty()) {
        taking.keepLastmods(std::move(lastmods));
    }
    ShowMessage(owner, text, kProgramTitle, MessageIcon::None, report.details);
}

}  // namespace quaymark::ui
