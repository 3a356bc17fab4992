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
      m_controls(BuildDialog(*this, kTemplateId)),
      m_keyEdit(m_controls.Get<QLineEdit>("key")),
      m_endpointEdit(m_controls.Get<QLineEdit>("endpoint")),
      m_enabledBox(m_controls.Get<QCheckBox>("enabled")),
      m_checkButton(m_controls.Get<QPushButton>("check")),
      m_checkList(m_controls.Get<QListWidget>("checkList")),
      m_settings(std::move(settings)),
      m_addresses(std::move(addresses)),
      m_routing(std::move(routing)) {
    m_keyEdit->setText(QString::fromStdString(m_settings.key));
    m_endpointEdit->setText(QString::fromStdString(m_settings.endpoint));
    m_enabledBox->setChecked(m_settings.enabled);
    connect(m_controls.Get<QPushButton>("generate"), &QPushButton::clicked, this,
            &CIndexNowDlg::OnGenerate);
    connect(m_controls.Get<QPushButton>("saveKeyFile"), &QPushButton::clicked, this,
            &CIndexNowDlg::OnSaveKeyFile);
    connect(m_checkButton, &QPushButton::clicked, this, &CIndexNowDlg::OnCheck);
    connect(m_controls.Get<QPushButton>("ok"), &QPushButton::clicked, this, &CIndexNowDlg::accept);
    connect(m_controls.Get<QPushButton>("cancel"), &QPushButton::clicked, this, &QDialog::reject);
}

bool CIndexNowDlg::TakeValidKey(std::string& key) {
    key = m_keyEdit->text().toStdString();
    if (!IsValidIndexNowKey(key)) {
        ShowMessage(this, kInvalidKeyText, kTitle);
        return false;
    }
    return true;
}

void CIndexNowDlg::OnGenerate() {
    m_keyEdit->setText(NewKey());
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
    for (const std::string& address : m_addresses) {
        if (const std::optional<std::string> root = SiteRoot(address)) {
            roots.insert(*root);
        }
    }
    m_checkList->clear();
    if (roots.empty()) {
        ShowMessage(this, kNoSitesText, kTitle);
        return;
    }
    m_checkButton->setEnabled(false);
    std::vector<std::pair<std::string, KeyFileCheck>> results;
    RunOffUiThread([&] {
        const StatusFetcher fetcher(m_routing);
        for (const std::string& root : roots) {
            results.emplace_back(root, CheckKeyFile(fetcher, root, key));
        }
    });
    for (const auto& [root, result] : results) {
        m_checkList->addItem(DisplayText(root) + QStringLiteral(": ") +
                             (result.served ? QStringLiteral("the key file is served")
                                            : QString::fromStdString(result.reason)));
    }
    m_checkButton->setEnabled(true);
}

void CIndexNowDlg::accept() {
    const bool enabled = m_enabledBox->isChecked();
    std::string key;
    // Without a key IndexNow can only be off; with one, it must be a valid key.
    const bool noKey = m_keyEdit->text().isEmpty() && !enabled;
    if (!noKey && !TakeValidKey(key)) {
        return;
    }
    m_settings.key = key;
    const QString endpoint = m_endpointEdit->text().trimmed();
    m_settings.endpoint =
        endpoint.isEmpty() ? std::string(kDefaultIndexNowEndpoint) : endpoint.toStdString();
    m_settings.enabled = enabled;
    QDialog::accept();
}

}  // namespace quaymark::ui
