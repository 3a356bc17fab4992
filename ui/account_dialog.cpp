#include "ui/account_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "ui/byte_text.h"
#include "ui/desktop.h"

namespace quaymark::ui {
namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

QLabel* Note(const std::string& text, QWidget* parent) {
    auto* label = new QLabel(Text(text), parent);
    label->setWordWrap(true);
    return label;
}

}  // namespace

QString AccountLine(const AccountView& account) {
    QString line = Text(account.name) +
                   (account.settings.enabled ? QStringLiteral(": on") : QStringLiteral(": off"));
    if (!account.masked.empty()) {
        line += QStringLiteral(", ") + Text(account.credential + " " + account.masked);
    }
    if (account.settings.enabled) {
        QStringList sites;
        for (const std::string& site : account.settings.sites) {
            sites << DisplayText(site);
        }
        line += sites.isEmpty() ? QStringLiteral(", every site")
                                : QStringLiteral(", ") + sites.join(QStringLiteral(" "));
    }
    if (account.settings.enabled && account.settings.plainHttp) {
        line += QStringLiteral(", plain http");
    }
    return line;
}

AccountDialog::AccountDialog(AccountView account, QWidget* parent)
    : QDialog(parent),
      account_(std::move(account)),
      enabledBox_(new QCheckBox(QStringLiteral("&Use ") + Text(account_.name), this)),
      credentialEdit_(new QLineEdit(this)),
      sitesEdit_(new QLineEdit(this)) {
    setWindowTitle(Text(account_.name));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(enabledBox_);
    enabledBox_->setChecked(account_.settings.enabled);
    auto* form = new QFormLayout;
    credentialEdit_->setEchoMode(QLineEdit::Password);
    credentialEdit_->setPlaceholderText(account_.masked.empty()
                                            ? QStringLiteral("none kept")
                                            : QStringLiteral("kept: ") + Text(account_.masked));
    form->addRow(QStringLiteral("&") + Text(account_.credential) + QStringLiteral(":"),
                 credentialEdit_);
    QStringList sites;
    for (const std::string& site : account_.settings.sites) {
        sites << DisplayText(site);
    }
    sitesEdit_->setText(sites.join(QLatin1Char(' ')));
    form->addRow(QStringLiteral("&Sites:"), sitesEdit_);
    layout->addLayout(form);
    layout->addWidget(Note(account_.where, this));
    layout->addWidget(Note(account_.sites, this));
    if (!account_.plainHttpWarning.empty()) {
        plainHttpBox_ = new QCheckBox(QStringLiteral("Send over &plain http"), this);
        plainHttpBox_->setChecked(account_.settings.plainHttp);
        layout->addWidget(plainHttpBox_);
        layout->addWidget(Note(account_.plainHttpWarning, this));
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &AccountDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

void AccountDialog::accept() {
    const QString typed = credentialEdit_->text();
    std::string credential;
    if (!typed.isEmpty()) {
        const std::optional<std::string> taken = TakenCredential(typed.toStdString());
        if (!taken) {
            ShowMessage(this,
                        QStringLiteral("The %1 must be one line of visible characters.")
                            .arg(Text(account_.credential)),
                        Text(account_.name));
            return;
        }
        credential = *taken;
    }
    if (enabledBox_->isChecked() && credential.empty() && account_.masked.empty()) {
        ShowMessage(this,
                    QStringLiteral("%1 needs its %2: type it first.")
                        .arg(Text(account_.name), Text(account_.credential)),
                    Text(account_.name));
        return;
    }
    std::vector<std::string> given;
    for (const QString& site : sitesEdit_->text().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        given.push_back(site.toStdString());
    }
    SitesTaken sites = TakenSites(given);
    if (!sites.refused.empty()) {
        ShowMessage(
            this,
            QStringLiteral("%1 is no http:// or https:// site.").arg(DisplayText(sites.refused)),
            Text(account_.name));
        return;
    }
    credential_ = std::move(credential);
    account_.settings = {.enabled = enabledBox_->isChecked(),
                         .sites = std::move(sites.sites),
                         .plainHttp = plainHttpBox_ != nullptr && plainHttpBox_->isChecked()};
    QDialog::accept();
}

}  // namespace quaymark::ui
