#pragma once

#include <QDialog>
#include <chrono>
#include <functional>

#include "ui/dialog_template.h"

namespace quaymark::ui {

// How long the splash window shows at start.
inline constexpr std::chrono::milliseconds SplashTime{1000};

// Fixed explanatory texts and a button that opens the maker's home page.
class CHelpDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 143;
    explicit CHelpDlg(QWidget* parent = nullptr);

    const DialogControls& controls() const { return controls_; }

private:
    DialogControls controls_;
};

// The application icon, name and version.
class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 100;
    explicit CAboutDlg(QWidget* parent = nullptr);
};

// The picture shown over the main window while it opens; a click anywhere hides it.
class CSplashDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 146;
    explicit CSplashDlg(QWidget* owner = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// Hides the splash window after the given time, on the UI thread. Nothing is left waiting
// if the window is gone first, and nothing holds the program at exit.
void HideSplashLater(CSplashDlg* splash, std::chrono::milliseconds delay = SplashTime);

// F1 pressed in any window of the program without Shift, Ctrl or Alt calls the main window's
// Help command; the owner is the main window, and the key does nothing once it is gone.
void InstallHelpKey(QObject* owner, std::function<void()> help);

}  // namespace quaymark::ui
