#pragma once

#include <QUrl>
#include <vector>

#include "ui/desktop.h"

namespace quaymark::ui::testing {

// Stands in for the desktop while a test runs: records every message box (answering it at
// once) and every address handed to the shell.
class DesktopRecorder {
public:
    DesktopRecorder() {
        SetMessageHandler([this](const MessageRequest& request) { messages.push_back(request); });
        SetOpenUrlHandler([this](const QUrl& url) { opened.push_back(url); });
    }
    ~DesktopRecorder() {
        SetMessageHandler({});
        SetOpenUrlHandler({});
    }
    DesktopRecorder(const DesktopRecorder&) = delete;
    DesktopRecorder& operator=(const DesktopRecorder&) = delete;

    std::vector<MessageRequest> messages;
    std::vector<QUrl> opened;
};

}  // namespace quaymark::ui::testing
