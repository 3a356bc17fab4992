#pragma once

#include <QUrl>
#include <deque>
#include <vector>

#include "ui/desktop.h"

namespace quaymark::ui::testing {

// Stands in for the desktop while a test runs: records every message box (answering it at
// once), every address handed to the shell and every request to the user's service manager.
class DesktopRecorder {
public:
    DesktopRecorder() {
        SetMessageHandler([this](const MessageRequest& request) { messages.push_back(request); });
        SetRetryHandler([this](const MessageRequest& request) {
            messages.push_back(request);
            const bool retry = !retryAnswers.empty() && retryAnswers.front();
            if (!retryAnswers.empty()) {
                retryAnswers.pop_front();
            }
            return retry;
        });
        SetQuestionHandler([this](const MessageRequest& request) {
            messages.push_back(request);
            const bool yes = !questionAnswers.empty() && questionAnswers.front();
            if (!questionAnswers.empty()) {
                questionAnswers.pop_front();
            }
            return yes;
        });
        SetOpenUrlHandler([this](const QUrl& url) { opened.push_back(url); });
        // No test reaches the user's own service manager.
        SetUserManagerHandler([this](const QStringList& arguments) {
            userManagerCalls.push_back(arguments.join(QLatin1Char(' ')));
            return userManager;
        });
    }
    ~DesktopRecorder() {
        SetMessageHandler({});
        SetRetryHandler({});
        SetQuestionHandler({});
        SetOpenUrlHandler({});
        SetUserManagerHandler({});
    }
    DesktopRecorder(const DesktopRecorder&) = delete;
    DesktopRecorder& operator=(const DesktopRecorder&) = delete;

    std::vector<MessageRequest> messages;
    std::vector<QUrl> opened;
    // What systemctl --user was asked, and how it answers: as where no user manager runs,
    // unless a test says otherwise.
    std::vector<QString> userManagerCalls;
    UserManagerAnswer userManager;
    // How Retry-or-Discard boxes are answered, in turn; Discard once these run out.
    std::deque<bool> retryAnswers;
    // How Yes-or-No questions are answered, in turn; No once these run out.
    std::deque<bool> questionAnswers;
};

}  // namespace quaymark::ui::testing
