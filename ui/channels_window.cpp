#include "ui/channels_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "engine/google/service_key.h"
#include "engine/indexnow/indexnow.h"
#include "engine/indexnow/key_check.h"
#include "ui/byte_text.h"
#include "ui/desktop.h"
#include "ui/off_ui_thread.h"

namespace quaymark::ui {
namespace {

const QString kTitle = QStringLiteral("Channels");
const QString kInvalidKeyText = QStringLiteral(
    "The key must be 8 to 128 characters from a-z, A-Z, 0-9 and \"-\". Type one, or click "
    "Generate.");
const QString kNoSitesText =
    QStringLiteral("There is no http:// or https:// address in the list to check.");
const QString kBadEndpointText =
    QStringLiteral("The endpoint must be an https:// address, such as %1.")
        .arg(QString::fromUtf8(kDefaultIndexNowEndpoint.data(),
                               static_cast<qsizetype>(kDefaultIndexNowEndpoint.size())));
const QString kBadKeyLocationText = QStringLiteral(
    "The key location must be an https:// address on your site ending in .txt, or empty when "
    "the key file is at the root of the site.");
const QString kKeyFileFailedText = QStringLiteral("The key file could not be saved to %1: %2.");
const QString kGoogleKeyTitle = QStringLiteral("Service Account Key");
const QString kGoogleKeyFilter = QStringLiteral("JSON key files (*.json);;All files (*)");
const QString kGoogleKeyRefusedText = QStringLiteral(
    "The file was not taken: %1.\n\nChoose the JSON key Google Cloud gave for the "
    "service account (IAM, Service accounts, Keys, Add key).");
const QString kGoogleKeyFirstText = QStringLiteral(
    "Google Search Console needs the service account's key: click Service account key... and "
    "choose it first.");
const QString kNoGoogleKeyText = QStringLiteral("No key chosen.");
const QString kGoogleKeyText = QStringLiteral("Key of %1");

}  // namespace

CChannelsDlg::CChannelsDlg(IndexNowSettings settings, bool daily,
                           std::vector<std::string> addresses, RunRouting routing, QWidget* parent)
    : QDialog(parent),
      controls_(BuildDialog(*this, kTemplateId)),
      keyEdit_(controls_.Get<QLineEdit>("key")),
      endpointBox_(controls_.Get<QComboBox>("endpoint")),
      keyLocationEdit_(controls_.Get<QLineEdit>("keyLocation")),
      classicBox_(controls_.Get<QCheckBox>("classic")),
      enabledBox_(controls_.Get<QCheckBox>("enabled")),
      onlyNewOrChangedBox_(controls_.Get<QCheckBox>("onlyNewOrChanged")),
      checkPagesBox_(controls_.Get<QCheckBox>("checkPages")),
      dailyBox_(controls_.Get<QCheckBox>("daily")),
      googleBox_(controls_.Get<QCheckBox>("google")),
      checkButton_(controls_.Get<QPushButton>("check")),
      checkList_(controls_.Get<QListWidget>("checkList")),
      settings_(std::move(settings)),
      addresses_(std::move(addresses)),
      routing_(std::move(routing)) {
    keyEdit_->setText(QString::fromStdString(settings_.key));
    for (const std::string_view endpoint : kIndexNowEndpoints) {
        endpointBox_->addItem(
            QString::fromUtf8(endpoint.data(), static_cast<qsizetype>(endpoint.size())));
    }
    endpointBox_->setCurrentText(QString::fromStdString(settings_.endpoint));
    keyLocationEdit_->setText(QString::fromStdString(settings_.keyLocation));
    classicBox_->setChecked(settings_.classic);
    enabledBox_->setChecked(settings_.enabled);
    onlyNewOrChangedBox_->setChecked(settings_.onlyNewOrChanged);
    checkPagesBox_->setChecked(settings_.checkPages);
    dailyBox_->setChecked(daily);
    googleBox_->setChecked(settings_.google);
    connect(controls_.Get<QPushButton>("googleKey"), &QPushButton::clicked, this,
            &CChannelsDlg::OnGoogleKey);
    connect(controls_.Get<QPushButton>("generate"), &QPushButton::clicked, this,
            &CChannelsDlg::OnGenerate);
    connect(controls_.Get<QPushButton>("saveKeyFile"), &QPushButton::clicked, this,
            &CChannelsDlg::OnSaveKeyFile);
    connect(checkButton_, &QPushButton::clicked, this, &CChannelsDlg::OnCheck);
    connect(controls_.Get<QPushButton>("ok"), &QPushButton::clicked, this, &CChannelsDlg::accept);
    connect(controls_.Get<QPushButton>("cancel"), &QPushButton::clicked, this, &QDialog::reject);
}

void CChannelsDlg::ShowGoogleKey(const std::string& account) {
    googleAccount_ = account;
    controls_.Get<QLabel>("googleAccount")
        ->setText(account.empty() ? kNoGoogleKeyText
                                  : kGoogleKeyText.arg(QString::fromStdString(account)));
}

// The file is read here, bounded, and refused with its reason unless it is a service
// account's key; the key itself is never shown.
void CChannelsDlg::OnGoogleKey() {
    const QString path = AskOpenFile(this, kGoogleKeyTitle, kGoogleKeyFilter);
    if (path.isEmpty()) {
        return;
    }
    const KeyReading reading = LoadServiceKey(path.toStdString());
    if (!reading.key) {
        ShowMessage(this,
                    kGoogleKeyRefusedText.arg(QString::fromStdString(Describe(reading.problem))),
                    kTitle, MessageIcon::Warning);
        return;
    }
    newGoogleKey_ = reading.file;
    ShowGoogleKey(reading.key->clientEmail);
    googleBox_->setChecked(true);
}

bool CChannelsDlg::TakeValidKey(std::string& key) {
    key = keyEdit_->text().toStdString();
    if (!IsValidIndexNowKey(key)) {
        ShowMessage(this, kInvalidKeyText, kTitle);
        return false;
    }
    return true;
}

void CChannelsDlg::OnGenerate() {
    keyEdit_->setText(QString::fromStdString(NewIndexNowKey()));
}

void CChannelsDlg::OnSaveKeyFile() {
    std::string key;
    if (!TakeValidKey(key)) {
        return;
    }
    const QString chosen =
        AskSaveFile(this, QStringLiteral("Save Key File"), QString::fromStdString(key + ".txt"));
    if (chosen.isEmpty()) {
        return;
    }
    const std::filesystem::path path = QFile::encodeName(chosen).toStdString();
    if (const FileResult saved = WriteFileAtomically(path, key); !saved) {
        ShowMessage(this, kKeyFileFailedText.arg(chosen, QString::fromStdString(saved.Reason())),
                    kTitle, MessageIcon::Warning);
    }
}

// Visits every host of the list once, off the UI thread, and lists what each serves; with a
// key location, also every address of its host that it does not cover.
void CChannelsDlg::OnCheck() {
    IndexNowSettings checked;
    if (!TakeValidKey(checked.key) || !TakeKeyLocation(checked.keyLocation)) {
        return;
    }
    checkList_->clear();
    if (HostsOf(addresses_).empty()) {
        ShowMessage(this, kNoSitesText, kTitle);
        return;
    }
    checkButton_->setEnabled(false);
    KeyCheckReport report;
    RunOffUiThread([&] { report = CheckKeys(StatusFetcher(routing_), addresses_, checked); });
    for (const KeyCheckReport::Host& host : report.hosts) {
        checkList_->addItem(DisplayText(host.host + ": " + KeyCheckText(host.check)));
    }
    for (const std::string& address : report.uncovered) {
        checkList_->addItem(DisplayText(address) +
                            QStringLiteral(": not covered by the key location"));
    }
    checkButton_->setEnabled(true);
}

bool CChannelsDlg::TakeKeyLocation(std::string& keyLocation) {
    keyLocation = keyLocationEdit_->text().trimmed().toStdString();
    if (!keyLocation.empty() && !IsKeyLocation(keyLocation)) {
        ShowMessage(this, kBadKeyLocationText, kTitle);
        return false;
    }
    return true;
}

void CChannelsDlg::accept() {
    const bool enabled = enabledBox_->isChecked();
    std::string key;
    // Without a key IndexNow can only be off; with one, it must be a valid key.
    const bool noKey = keyEdit_->text().isEmpty() && !enabled;
    if (!noKey && !TakeValidKey(key)) {
        return;
    }
    std::string keyLocation;
    if (!TakeKeyLocation(keyLocation)) {
        return;
    }
    const QString typed = endpointBox_->currentText().trimmed();
    const std::string endpoint =
        typed.isEmpty() ? std::string(kDefaultIndexNowEndpoint) : typed.toStdString();
    if (!IsHttpsAddress(endpoint)) {
        ShowMessage(this, kBadEndpointText, kTitle);
        return;
    }
    if (googleBox_->isChecked() && googleAccount_.empty()) {
        ShowMessage(this, kGoogleKeyFirstText, kTitle);
        return;
    }
    settings_ = {.key = key,
                 .endpoint = endpoint,
                 .enabled = enabled,
                 .keyLocation = keyLocation,
                 .onlyNewOrChanged = onlyNewOrChangedBox_->isChecked(),
                 .classic = classicBox_->isChecked(),
                 .checkPages = checkPagesBox_->isChecked(),
                 .google = googleBox_->isChecked()};
    daily_ = dailyBox_->isChecked();
    QDialog::accept();
}

}  // namespace quaymark::ui
