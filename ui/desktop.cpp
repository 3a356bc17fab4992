#include "ui/desktop.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>

namespace quaymark::ui {
namespace {

MessageHandler& CurrentMessageHandler() {
    static MessageHandler handler;
    return handler;
}

RetryHandler& CurrentRetryHandler() {
    static RetryHandler handler;
    return handler;
}

QuestionHandler& CurrentQuestionHandler() {
    static QuestionHandler handler;
    return handler;
}

OpenUrlHandler& CurrentOpenUrlHandler() {
    static OpenUrlHandler handler;
    return handler;
}

SaveFileHandler& CurrentSaveFileHandler() {
    static SaveFileHandler handler;
    return handler;
}

OpenFileHandler& CurrentOpenFileHandler() {
    static OpenFileHandler handler;
    return handler;
}

CredentialsHandler& CurrentCredentialsHandler() {
    static CredentialsHandler handler;
    return handler;
}

UserManagerHandler& CurrentUserManagerHandler() {
    static UserManagerHandler handler;
    return handler;
}

// systemctl answers at once or not at all: a manager that hangs is given up on.
constexpr int kUserManagerMilliseconds = 20000;

UserManagerAnswer AskDesktopUserManager(const QStringList& arguments) {
    QProcess systemctl;
    systemctl.setProcessChannelMode(QProcess::MergedChannels);
    systemctl.start(QStringLiteral("systemctl"), QStringList{QStringLiteral("--user")} + arguments);
    if (!systemctl.waitForFinished(kUserManagerMilliseconds)) {
        systemctl.kill();
        systemctl.waitForFinished();
        return {.output = systemctl.errorString()};
    }
    return {.ran = systemctl.exitStatus() == QProcess::NormalExit,
            .exitStatus = systemctl.exitCode(),
            .output = QString::fromLocal8Bit(systemctl.readAll()).trimmed()};
}

void ShowDesktopMessage(const MessageRequest& request) {
    QMessageBox box(
        request.icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon,
        request.title, request.text, QMessageBox::Ok, request.owner);
    box.setDetailedText(request.details);
    box.exec();
}

bool AskDesktopRetry(const MessageRequest& request) {
    QMessageBox box(QMessageBox::Warning, request.title, request.text,
                    QMessageBox::Retry | QMessageBox::Discard, request.owner);
    box.setDefaultButton(QMessageBox::Retry);
    return box.exec() == QMessageBox::Retry;
}

bool AskDesktopQuestion(const MessageRequest& request) {
    QMessageBox box(QMessageBox::Question, request.title, request.text,
                    QMessageBox::Yes | QMessageBox::No, request.owner);
    box.setDetailedText(request.details);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

std::optional<Credentials> AskDesktopCredentials(const QString& url) {
    QDialog dialog;
    dialog.setWindowTitle(QObject::tr("Enter Network Password"));
    auto* form = new QFormLayout(&dialog);
    auto* site = new QLineEdit(url, &dialog);
    site->setReadOnly(true);
    auto* user = new QLineEdit(&dialog);
    auto* password = new QLineEdit(&dialog);
    password->setEchoMode(QLineEdit::Password);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(QObject::tr("Site:"), site);
    form->addRow(QObject::tr("User name:"), user);
    form->addRow(QObject::tr("Password:"), password);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return Credentials{user->text().toStdString(), password->text().toStdString()};
}

}  // namespace

void ShowMessage(QWidget* owner, const QString& text, const QString& title, MessageIcon icon,
                 const QString& details) {
    const MessageRequest request{owner, text, title, icon, details};
    if (CurrentMessageHandler()) {
        CurrentMessageHandler()(request);
    } else {
        ShowDesktopMessage(request);
    }
}

bool AskRetry(QWidget* owner, const QString& text, const QString& title) {
    const MessageRequest request{owner, text, title, MessageIcon::Warning};
    if (CurrentRetryHandler()) {
        return CurrentRetryHandler()(request);
    }
    return AskDesktopRetry(request);
}

bool AskYesNo(QWidget* owner, const QString& text, const QString& title, const QString& details) {
    const MessageRequest request{owner, text, title, MessageIcon::None, details};
    if (CurrentQuestionHandler()) {
        return CurrentQuestionHandler()(request);
    }
    return AskDesktopQuestion(request);
}

void OpenWithShell(const QUrl& url) {
    if (CurrentOpenUrlHandler()) {
        CurrentOpenUrlHandler()(url);
    } else {
        QDesktopServices::openUrl(url);
    }
}

QString AskSaveFile(QWidget* owner, const QString& title, const QString& name) {
    if (CurrentSaveFileHandler()) {
        return CurrentSaveFileHandler()(title, name);
    }
    return QFileDialog::getSaveFileName(owner, title, QDir::home().filePath(name));
}

QString AskOpenFile(QWidget* owner, const QString& title, const QString& filter) {
    if (CurrentOpenFileHandler()) {
        return CurrentOpenFileHandler()(title);
    }
    return QFileDialog::getOpenFileName(owner, title, QDir::homePath(), filter);
}

std::optional<Credentials> AskCredentials(const QString& url) {
    if (CurrentCredentialsHandler()) {
        return CurrentCredentialsHandler()(url);
    }
    return AskDesktopCredentials(url);
}

void SetMessageHandler(MessageHandler handler) {
    CurrentMessageHandler() = std::move(handler);
}
void SetRetryHandler(RetryHandler handler) {
    CurrentRetryHandler() = std::move(handler);
}
void SetQuestionHandler(QuestionHandler handler) {
    CurrentQuestionHandler() = std::move(handler);
}
void SetOpenUrlHandler(OpenUrlHandler handler) {
    CurrentOpenUrlHandler() = std::move(handler);
}
void SetSaveFileHandler(SaveFileHandler handler) {
    CurrentSaveFileHandler() = std::move(handler);
}
void SetOpenFileHandler(OpenFileHandler handler) {
    CurrentOpenFileHandler() = std::move(handler);
}
void SetCredentialsHandler(CredentialsHandler handler) {
    CurrentCredentialsHandler() = std::move(handler);
}
void SetUserManagerHandler(UserManagerHandler handler) {
    CurrentUserManagerHandler() = std::move(handler);
}

UserManagerAnswer RunUserManager(const QStringList& arguments) {
    if (CurrentUserManagerHandler()) {
        return CurrentUserManagerHandler()(arguments);
    }
    return AskDesktopUserManager(arguments);
}

QString ApplicationTitle() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

}  // namespace quaymark::ui
