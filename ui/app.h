#pragma once

#include <QPointer>
#include <filesystem>

#include "ui/main_window.h"

namespace quaymark::ui {

// The application object: runs the main window modally, which is the program's whole life.
class CSubmitApp {
public:
    // The routing is where the runs' requests go: the engines themselves unless a test says
    // otherwise.
    explicit CSubmitApp(RunRouting routing = {}) : routing_(std::move(routing)) {}

    // Returns false: the program has no message loop of its own after the main window.
    bool InitInstance();

    // The main window while it runs; empty before and after.
    CSubmitDlg* mainWindow() const { return mainWindow_; }

private:
    RunRouting routing_;
    QPointer<CSubmitDlg> mainWindow_;
};

}  // namespace quaymark::ui
