#include "ui/placement.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace quaymark::ui {
namespace {

QMargins FrameOf(const QWidget& window) {
    const QWindow* handle = window.windowHandle();
    return handle != nullptr ? handle->frameMargins() : QMargins();
}

class ScreenCentring : public QObject {
public:
    explicit ScreenCentring(QWidget& window) : QObject(&window), window_(window) {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::Show:
                Centre();
                break;
            // What follows the mapping: the window manager frames the window, moves it into
            // its frame and activates it, and the window paints. At one of these the frame is
            // known.
            case QEvent::Move:
            case QEvent::Paint:
            case QEvent::WindowActivate:
            case QEvent::ActivationChange:
                if (!framed_ && FrameOf(window_) != frame_) {
                    framed_ = true;
                    Centre();
                }
                break;
            default:
                break;
        }
        return false;
    }

private:
    void Centre() {
        frame_ = FrameOf(window_);
        const QRect screen = window_.screen()->availableGeometry();
        const QSize outer = window_.size().grownBy(frame_);
        // A window's position is that of its frame.
        window_.move(screen.center() - QPoint(outer.width() - 1, outer.height() - 1) / 2);
    }

    QWidget& window_;
    QMargins frame_;
    bool framed_ = false;
};

}  // namespace

void CentreOnScreen(QWidget& window) {
    new ScreenCentring(window);
}

}  // namespace quaymark::ui
