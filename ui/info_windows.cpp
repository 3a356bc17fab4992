#include "ui/info_windows.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include "base/product.h"
#include "ui/desktop.h"
#include "ui/placement.h"

namespace quaymark::ui {
namespace {

// Turns F1 into the main window's Help command, wherever the focus is. The filter belongs to
// the main window, so it goes with it.
class HelpKeyFilter : public QObject {
public:
    HelpKeyFilter(QObject* owner, std::function<void()> help)
        : QObject(owner), help_(std::move(help)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) {
            return false;
        }
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers held =
            key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
        if (key->key() != Qt::Key_F1 || held != Qt::NoModifier) {
            return false;
        }
        // Later, from the event loop: the key's own window is done with the key by then.
        QMetaObject::invokeMethod(parent(), help_, Qt::QueuedConnection);
        return true;
    }

private:
    std::function<void()> help_;
};

}  // namespace

CHelpDlg::CHelpDlg(QWidget* parent) : QDialog(parent), controls_(BuildDialog(*this, kTemplateId)) {
    connect(controls_.Get<QPushButton>("ok"), &QPushButton::clicked, this, &QDialog::accept);
    connect(controls_.Get<QPushButton>("visit"), &QPushButton::clicked, this, [] {
        OpenWithShell(QUrl(QString::fromLatin1(kMakerHomePage.data(),
                                               static_cast<qsizetype>(kMakerHomePage.size()))));
    });
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    const DialogControls controls = BuildDialog(*this, kTemplateId);
    connect(controls.Get<QPushButton>("ok"), &QPushButton::clicked, this, &QDialog::accept);
}

CSplashDlg::CSplashDlg(QWidget* owner) : QDialog(owner) {
    BuildDialog(*this, kTemplateId);
    // The picture's control is a row taller than the window's template: the window takes the
    // picture's size, so that the picture fills it exactly.
    setFixedSize(childrenRect().size());
    // Shown while the main window is still being made, it centres itself on the screen, where
    // the main window opens too: it stands over the main window.
    CentreOnScreen(*this);
}

void CSplashDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        reject();  // a modeless window is only hidden
        return;
    }
    QDialog::mousePressEvent(event);
}

void HideSplashLater(CSplashDlg* splash, std::chrono::milliseconds delay) {
    // The splash is the timer's context: if it is destroyed first, the hide never runs.
    QTimer::singleShot(delay, splash, &QWidget::hide);
}

void InstallHelpKey(QObject* owner, std::function<void()> help) {
    qApp->installEventFilter(new HelpKeyFilter(owner, std::move(help)));
}

}  // namespace quaymark::ui
