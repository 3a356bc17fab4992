#include "ui/channels_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "app/channel_setup.h"
#include "base/product.h"
#include "ui/account_dialog.h"
#include "ui/byte_text.h"
#include "ui/daily_job.h"
#include "ui/desktop.h"
#include "ui/gate_dialog.h"
#include "ui/off_ui_thread.h"
#include "ui/program_title.h"

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
const QString kIndexNowUnreadableText = QStringLiteral(
    "The IndexNow settings file %1 could not be read: %2.\n\n"
    "IndexNow stays off, and the file is left as it is.");
const QString kIndexNowKeptText = QStringLiteral(
    "The IndexNow settings file %1 could not be read at start and is left as it is: these "
    "settings last until %2 ends.");
const QString kGoogleKeyUnreadableText = QStringLiteral(
    "The key of Google Search Console, %1, could not be taken: %2.\n\n"
    "Google Search Console stays off until its key is chosen again in the Channels window.");
const QString kGoogleKeySaveFailedText =
    QStringLiteral("The key of Google Search Console could not be kept in %1: %2.");
const QString kIndexNowSaveFailedText =
    QStringLiteral("The IndexNow settings could not be saved to %1: %2.");

void TellKeyNotTaken(QWidget* owner, const std::string& where, KeyProblem problem) {
    if (problem != KeyProblem::None) {
        ShowMessage(owner,
                    kGoogleKeyUnreadableText.arg(DisplayText("in " + where),
                                                 QString::fromStdString(Describe(problem))),
                    kProgramTitle, MessageIcon::Warning);
    }
}

const QString kGoogleKeyText = QStringLiteral("Key of %1");

const QString kKeptInFilesText = QStringLiteral(
    "No desktop keyring (Secret Service) is running: the credential is kept in %1, readable by "
    "you alone.");

// A credential kept: in a file where no keyring runs, which is told; or not kept, with why.
void TellKept(QWidget* owner, const QString& failed, const KeyKept& kept) {
    if (kept.where.empty()) {
        return;
    }
    if (!kept.result.ok) {
        ShowMessage(owner,
                    failed.arg(DisplayText(kept.where), QString::fromStdString(kept.result.detail)),
                    kProgramTitle, MessageIcon::Warning);
    } else if (kept.inFile) {
        ShowMessage(owner, kKeptInFilesText.arg(DisplayText(kept.where)), kProgramTitle,
                    MessageIcon::None);
    }
}

const QString kCredentialUnreadableText = QStringLiteral(
    "The credential of %1, %2, could not be read: %3.\n\n"
    "%1 stays off until its credential is given again in the Channels window.");
const QString kCredentialNotKeptText =
    QStringLiteral("The credential could not be kept in %1: %2.");

void TellCredentials(QWidget* owner, const std::vector<CredentialProblem>& problems) {
    for (const CredentialProblem& problem : problems) {
        ShowMessage(owner,
                    kCredentialUnreadableText.arg(QString::fromStdString(problem.name),
                                                  DisplayText("in " + problem.where),
                                                  QString::fromStdString(problem.detail)),
                    kProgramTitle, MessageIcon::Warning);
    }
}

void TellSaved(QWidget* owner, const ChannelsSaved& saved) {
    TellKeyNotTaken(owner, saved.googleKeyWhere, saved.googleKey);
    TellCredentials(owner, saved.credentials);
    if (saved.leftUnread) {
        ShowMessage(
            owner,
            kIndexNowKeptText.arg(DisplayText(saved.settingsFile.string()),
                                  QString::fromUtf8(kProgramName.data(),
                                                    static_cast<qsizetype>(kProgramName.size()))),
            kProgramTitle);
    } else if (!saved.saved) {
        ShowMessage(owner, FileProblem(kIndexNowSaveFailedText, saved.settingsFile, saved.saved),
                    kProgramTitle, MessageIcon::Warning);
    }
}

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
      accountsList_(controls_.Get<QListWidget>("accounts")),
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
    accounts_ = Accounts(settings_, true);
    for (const AccountView& account : accounts_) {
        accountsList_->addItem(AccountLine(account));
    }
    if (!accounts_.empty()) {
        accountsList_->setCurrentRow(0);
    }
    connect(controls_.Get<QPushButton>("setUp"), &QPushButton::clicked, this,
            &CChannelsDlg::OnSetUp);
    connect(accountsList_, &QListWidget::itemActivated, this, &CChannelsDlg::OnSetUp);
    notAnnounced_ = settings_.notAnnounced;
    letThrough_ = settings_.letThrough;
    connect(controls_.Get<QPushButton>("hosts"), &QPushButton::clicked, this,
            &CChannelsDlg::OnHosts);
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

void CChannelsDlg::OnSetUp() {
    const int row = accountsList_->currentRow();
    if (row < 0 || row >= static_cast<int>(accounts_.size())) {
        return;
    }
    AccountView& account = accounts_[static_cast<std::size_t>(row)];
    AccountDialog dialog(account, this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    account.settings = dialog.settings();
    if (!dialog.credential().empty()) {
        newCredentials_[account.section] = dialog.credential();
        account.masked = MaskedCredential(dialog.credential());
    }
    accountsList_->item(row)->setText(AccountLine(account));
}

void CChannelsDlg::OnHosts() {
    GateDialog dialog(notAnnounced_, letThrough_, this);
    if (dialog.exec() == QDialog::Accepted) {
        notAnnounced_ = dialog.notAnnounced();
        letThrough_ = dialog.letThrough();
    }
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
                 .google = googleBox_->isChecked(),
                 .letThrough = letThrough_,
                 .notAnnounced = notAnnounced_};
    for (const AccountView& account : accounts_) {
        settings_.accounts[account.section] = account.settings;
    }
    daily_ = dailyBox_->isChecked();
    QDialog::accept();
}

void TellChannelsLoaded(QWidget* owner, const ChannelsLoaded& loaded) {
    if (loaded.SettingsUnreadable()) {
        ShowMessage(owner,
                    FileProblem(kIndexNowUnreadableText, loaded.settingsFile, loaded.settings),
                    kProgramTitle, MessageIcon::Warning);
    }
    TellKeyNotTaken(owner, loaded.googleKeyWhere, loaded.googleKey);
    TellCredentials(owner, loaded.credentials);
}

std::optional<ChannelSettings> EditChannels(QWidget* owner, const ChannelSettings& channels,
                                            bool settingsUnreadable,
                                            std::vector<std::string> addresses,
                                            RunRouting routing) {
    CChannelsDlg dialog(channels.settings, DailyJobOn(), std::move(addresses), std::move(routing),
                        owner);
    dialog.ShowGoogleKey(KeptGoogleAccount(channels));
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    TellKept(owner, kGoogleKeySaveFailedText, KeepChosenGoogleKey(dialog.newGoogleKey()));
    for (const auto& [section, credential] : dialog.newCredentials()) {
        TellKept(owner, kCredentialNotKeptText, KeepCredential(section, credential));
    }
    SetDailyJob(owner, dialog.daily());
    ChannelsSaved saved = SaveChannels(dialog.settings(), settingsUnreadable);
    TellSaved(owner, saved);
    return std::move(saved.channels);
}

}  // namespace quaymark::ui
