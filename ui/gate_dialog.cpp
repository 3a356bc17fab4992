#include "ui/gate_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "app/channel_setup.h"
#include "ui/byte_text.h"
#include "ui/desktop.h"

namespace quaymark::ui {
namespace {

const QString kTitle = QStringLiteral("Hosts");
const QString kAbout = QStringLiteral(
    "IndexNow, Google and the engines' own tools never hear of pages on localhost, .local, .test, "
    ".example, .invalid, .internal or .home.arpa, on names without a dot, or on private, "
    "loopback, link-local or documentation addresses (written so, or the name's only DNS "
    "answers). Hosts or patterns, separated by blanks; * is any text.");

QString Joined(const std::vector<std::string>& patterns) {
    QStringList words;
    for (const std::string& pattern : patterns) {
        words << DisplayText(pattern);
    }
    return words.join(QLatin1Char(' '));
}

std::vector<std::string> Words(const QLineEdit* edit) {
    std::vector<std::string> words;
    for (const QString& word : edit->text().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        words.push_back(word.toStdString());
    }
    return words;
}

}  // namespace

GateDialog::GateDialog(const std::vector<std::string>& notAnnounced,
                       const std::vector<std::string>& letThrough, QWidget* parent)
    : QDialog(parent),
      notAnnounced_(notAnnounced),
      letThrough_(letThrough),
      notAnnouncedEdit_(new QLineEdit(Joined(notAnnounced), this)),
      letThroughEdit_(new QLineEdit(Joined(letThrough), this)) {
    setWindowTitle(kTitle);
    auto* layout = new QVBoxLayout(this);
    auto* about = new QLabel(kAbout, this);
    about->setWordWrap(true);
    layout->addWidget(about);
    auto* form = new QFormLayout;
    notAnnouncedEdit_->setObjectName(QStringLiteral("notAnnounced"));
    notAnnouncedEdit_->setPlaceholderText(QStringLiteral("staging.* *.netlify.app"));
    letThroughEdit_->setObjectName(QStringLiteral("letThrough"));
    form->addRow(QStringLiteral("&Never announce:"), notAnnouncedEdit_);
    form->addRow(QStringLiteral("&Let through:"), letThroughEdit_);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &GateDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

void GateDialog::accept() {
    PatternsTaken never = TakenHostPatterns(Words(notAnnouncedEdit_));
    PatternsTaken let = TakenHostPatterns(Words(letThroughEdit_));
    const std::string& refused = !never.refused.empty() ? never.refused : let.refused;
    if (!refused.empty()) {
        ShowMessage(this,
                    QStringLiteral("%1 is no host nor host pattern (letters, digits, - . : _ "
                                   "and *).")
                        .arg(DisplayText(refused)),
                    kTitle);
        return;
    }
    notAnnounced_ = std::move(never.patterns);
    letThrough_ = std::move(let.patterns);
    QDialog::accept();
}

}  // namespace quaymark::ui
