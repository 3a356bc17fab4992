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
        if (event->type() == QEvent::Show) {
            Centre();
        } else if (event->type() == QEvent::Paint && !framed_) {
            // The first paints follow the mapping, by which time the window manager has
            // framed the window and said how.
            framed_ = FrameOf(window_) != frame_;
            if (framed_) {
                Centre();
            }
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
