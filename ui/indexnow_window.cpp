#include "ui/indexnow_window.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRandomGenerator>
#include <set>

#include "engine/indexnow.h"
#include "ui/byte_text.h"
#include "ui/desktop.h"
#include "ui/off_ui_thread.h"

namespace quaymark::ui {
namespace {

const QString kTitle = QStringLiteral("IndexNow");
const QString kInvalidKeyText = QStringLiteral(
    "The key must be 8 to 128 characters from a-z, A-Z, 0-9 and \"-\". Type one, or click "
    "Generate.");
const QString kNoSitesText =
    QStringLiteral("There is no http:// or https:// address in the list to check.");
const QString kKeyFileFailedText = QStringLiteral("The key file could not be saved to %1: %2.");

// Sixteen bytes from the system's random source, as 32 lowercase hexadecimal characters.
QString NewKey() {
    QByteArray bytes(16, Qt::Uninitialized);
    QRandomGenerator::system()->generate(bytes.begin(), bytes.end());
    return QString::fromLatin1(bytes.toHex());
}

}  // namespace

CIndexNowDlg::CIndexNowDlg(IndexNowSettings settings, std::vector<std::string> addresses,
                           RunRouting routing, QWidget* parent)
    : QDialog(parent),
      controls_(BuildDialog(*this, kTemplateId)),
      keyEdit_(controls_.Get<QLineEdit>("key")),
      endpointEdit_(controls_.Get<QLineEdit>("endpoint")),
      enabledBox_(controls_.Get<QCheckBox>("enabled")),
      checkButton_(controls_.Get<QPushButton>("check")),
      checkList_(controls_.Get<QListWidget>("checkList")),
      settings_(std::move(settings)),
      addresses_(std::move(addresses)),
      routing_(std::move(routing)) {
    keyEdit_->setText(QString::fromStdString(settings_.key));
    endpointEdit_->setText(QString::fromStdString(settings_.endpoint));
    enabledBox_->setChecked(settings_.enabled);
    connect(controls_.Get<QPushButton>("generate"), &QPushButton::clicked, this,
            &CIndexNowDlg::OnGenerate);
    connect(controls_.Get<QPushButton>("saveKeyFile"), &QPushButton::clicked, this,
            &CIndexNowDlg::OnSaveKeyFile);
    connect(checkButton_, &QPushButton::clicked, this, &CIndexNowDlg::OnCheck);
    connect(controls_.Get<QPushButton>("ok"), &QPushButton::clicked, this, &CIndexNowDlg::accept);
    connect(controls_.Get<QPushButton>("cancel"), &QPushButton::clicked, this, &QDialog::reject);
}

bool CIndexNowDlg::TakeValidKey(std::string& key) {
    key = keyEdit_->text().toStdString();
    if (!IsValidIndexNowKey(key)) {
        ShowMessage(this, kInvalidKeyText, kTitle);
        return false;
    }
    return true;
}

void CIndexNowDlg::OnGenerate() {
    keyEdit_->setText(NewKey());
}

void CIndexNowDlg::OnSaveKeyFile() {
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

// Visits every site of the list once, off the UI thread, and lists what each serves.
void CIndexNowDlg::OnCheck() {
    std::string key;
    if (!TakeValidKey(key)) {
        return;
    }
    std::set<std::string> roots;
    for (const std::string& address : addresses_) {
        if (const std::optional<std::string> root = SiteRoot(address)) {
            roots.insert(*root);
        }
    }
    checkList_->clear();
    if (roots.empty()) {
        ShowMessage(this, kNoSitesText, kTitle);
        return;
    }
    checkButton_->setEnabled(false);
    std::vector<std::pair<std::string, KeyFileCheck>> results;
    RunOffUiThread([&] {
        const StatusFetcher fetcher(routing_);
        for (const std::string& root : roots) {
            results.emplace_back(root, CheckKeyFile(fetcher, root, key));
        }
    });
    for (const auto& [root, result] : results) {
        checkList_->addItem(DisplayText(root) + QStringLiteral(": ") +
                            (result.served ? QStringLiteral("the key file is served")
                                           : QString::fromStdString(result.reason)));
    }
    checkButton_->setEnabled(true);
}

void CIndexNowDlg::accept() {
    const bool enabled = enabledBox_->isChecked();
    std::string key;
    // Without a key IndexNow can only be off; with one, it must be a valid key.
    const bool noKey = keyEdit_->text().isEmpty() && !enabled;
    if (!noKey && !TakeValidKey(key)) {
        return;
    }
    settings_.key = key;
    const QString endpoint = endpointEdit_->text().trimmed();
    settings_.endpoint =
        endpoint.isEmpty() ? std::string(kDefaultIndexNowEndpoint) : endpoint.toStdString();
    settings_.enabled = enabled;
    QDialog::accept();
}

}  // namespace quaymark::ui
