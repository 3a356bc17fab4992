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
            // The window manager activates the window once it has framed and mapped it; from
            // then on the frame is known, or comes with the next move, and a position is
            // taken as the frame's.
            case QEvent::WindowActivate:
                activated_ = true;
                [[fallthrough]];
            case QEvent::Move:
                if (activated_ && !framed_ && FrameOf(window_) != frame_) {
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
    bool activated_ = false;
    bool framed_ = false;
};

}  // namespace

void CentreOnScreen(QWidget& window) {
    new ScreenCentring(window);
}

}  // namespace quaymark::ui
