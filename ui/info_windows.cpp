#include "ui/info_windows.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include "engine/classify.h"
#include "ui/desktop.h"
#include "ui/placement.h"

namespace quaymark::ui {
namespace {

// Turns F1 into the main window's Help command, wherever the focus is.
class HelpKeyFilter : public QObject {
public:
    HelpKeyFilter(QObject* target, QObject* parent) : QObject(parent), target_(target) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || target_.isNull() || !watched->isWidgetType()) {
            return false;
        }
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers held =
            key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
        if (key->key() != Qt::Key_F1 || held != Qt::NoModifier) {
            return false;
        }
        QMetaObject::invokeMethod(target_, "OnHelp", Qt::QueuedConnection);
        return true;
    }

private:
    QPointer<QObject> target_;
};

}  // namespace

CHelpDlg::CHelpDlg(QWidget* parent) : QDialog(parent) {
    m_controls = BuildDialog(*this, kTemplateId);
    connect(m_controls.Get<QPushButton>(1), &QPushButton::clicked, this, &QDialog::accept);
    connect(m_controls.Get<QPushButton>(kVisitId), &QPushButton::clicked, this, [] {
        OpenWithShell(QUrl(QString::fromLatin1(HomePageAddress.data(),
                                               static_cast<qsizetype>(HomePageAddress.size()))));
    });
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    const DialogControls controls = BuildDialog(*this, kTemplateId);
    connect(controls.Get<QPushButton>(1), &QPushButton::clicked, this, &QDialog::accept);
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

void InstallHelpKey(QObject* helpTarget) {
    qApp->installEventFilter(new HelpKeyFilter(helpTarget, helpTarget));
}

}  // namespace quaymark::ui
