#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <optional>

#include "app/session.h"

class QWidget;

namespace quaymark::ui {

enum class MessageIcon { None, Warning };

struct MessageRequest {
    QWidget* owner = nullptr;
    QString text;
    QString title;
    MessageIcon icon = MessageIcon::None;
    // What the box keeps behind its Show Details button; none when empty.
    QString details{};
};

// The seams between the program and the desktop. Each passes through one replaceable
// handler, so that tests see and answer every box, dialog and shell request without a person.
using MessageHandler = std::function<void(const MessageRequest&)>;
// Answers a box with Retry and Discard: true for Retry.
using RetryHandler = std::function<bool(const MessageRequest&)>;
// Answers a question with Yes and No: true for Yes.
using QuestionHandler = std::function<bool(const MessageRequest&)>;
using OpenUrlHandler = std::function<void(const QUrl&)>;
// Answers a save-file dialog: the path chosen, empty when the user cancelled.
using SaveFileHandler = std::function<QString(const QString& title, const QString& name)>;
using OpenFileHandler = std::function<QString(const QString& title)>;
using CredentialsHandler = std::function<std::optional<Credentials>(const QString& url)>;
// What the user's service manager answered: whether it could be asked at all, its exit
// status and what it said.
struct UserManagerAnswer {
    bool ran = false;
    int exitStatus = -1;
    QString output{};

    bool succeeded() const { return ran && exitStatus == 0; }
};
using UserManagerHandler = std::function<UserManagerAnswer(const QStringList& arguments)>;

// A modal box with the text, the title, one OK button and the icon.
void ShowMessage(QWidget* owner, const QString& text, const QString& title,
                 MessageIcon icon = MessageIcon::None, const QString& details = {});
// A modal warning box with the text, the title and the buttons Retry and Discard; true when
// the user chose Retry.
bool AskRetry(QWidget* owner, const QString& text, const QString& title);
// A modal question box with the text, the title and the buttons Yes and No; true for Yes.
bool AskYesNo(QWidget* owner, const QString& text, const QString& title,
              const QString& details = {});
// Opens an address or a file with the desktop's default program; the outcome is not examined.
void OpenWithShell(const QUrl& url);
// The desktop's save-file dialog, offering the name; the path chosen, or empty.
QString AskSaveFile(QWidget* owner, const QString& title, const QString& name);
// The file the user chooses to open; empty when none is.
QString AskOpenFile(QWidget* owner, const QString& title, const QString& filter);
// The password dialog after a 401.
std::optional<Credentials> AskCredentials(const QString& url);

// Asks the user's systemd manager: systemctl --user with the arguments.
UserManagerAnswer RunUserManager(const QStringList& arguments);

// The caption of message boxes that have none of their own: the executable's base name.
QString ApplicationTitle();

// Replace a handler; an empty function restores the desktop's own.
void SetMessageHandler(MessageHandler handler);
void SetRetryHandler(RetryHandler handler);
void SetQuestionHandler(QuestionHandler handler);
void SetOpenUrlHandler(OpenUrlHandler handler);
void SetSaveFileHandler(SaveFileHandler handler);
void SetOpenFileHandler(OpenFileHandler handler);
void SetCredentialsHandler(CredentialsHandler handler);
void SetUserManagerHandler(UserManagerHandler handler);

}  // namespace quaymark::ui
