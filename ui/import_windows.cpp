#include "ui/import_windows.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "engine/indexnow.h"
#include "ui/byte_text.h"
#include "ui/desktop.h"
#include "ui/placement.h"
#include "ui/program_title.h"

namespace quaymark::ui {

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
    if (!AnnounceHost(address())) {
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
