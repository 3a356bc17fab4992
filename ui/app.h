#pragma once

#include <QPointer>
#include <filesystem>

#include "ui/main_window.h"

namespace quaymark::ui {

// The application object: runs the main window modally, which is the program's whole life.
class CSubmitApp {
public:
    // Returns false: the program has no message loop of its own after the main window.
    bool InitInstance();

    // The main window while it runs; empty before and after.
    CSubmitDlg* mainWindow() const { return m_pMainWnd; }

private:
    QPointer<CSubmitDlg> m_pMainWnd;
};

}  // namespace quaymark::ui
