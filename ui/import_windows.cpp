#include "ui/import_windows.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <climits>

#include "engine/indexnow/indexnow.h"
#include "engine/net/web_address.h"
#include "ui/byte_text.h"
#include "ui/desktop.h"
#include "ui/placement.h"
#include "ui/program_title.h"

namespace quaymark::ui {
namespace {

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

ImportReport ReportImport(const SitemapImport& import) {
    ImportReport report;
    QStringList failures;
    QStringList details;
    for (const std::string& failure : import.failures) {
        if (static_cast<std::size_t>(failures.size()) < kFailuresShown) {
            failures << DisplayText(failure);
        }
        details << DisplayText(failure);
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

}  // namespace quaymark::ui
