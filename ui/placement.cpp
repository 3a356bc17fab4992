#include "ui/placement.h"

#include <QEvent>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace quaymark::ui {
namespace {

// The window manager may refuse a position; after this many tries the window stays put.
constexpr int kMaxCorrections = 2;
// The frame margins can come after the activation without an event of their own: they are
// looked for at this pace, for a second at the most.
constexpr int kFrameLookIntervalMs = 20;
constexpr int kFrameLooks = 50;

QMargins FrameOf(const QWidget& window) {
    const QWindow* handle = window.windowHandle();
    return handle != nullptr ? handle->frameMargins() : QMargins();
}

class ScreenCentring : public QObject {
public:
    explicit ScreenCentring(QWidget& window) : QObject(&window), window_(window) {
        window.installEventFilter(this);
        frameLook_.setInterval(kFrameLookIntervalMs);
        connect(&frameLook_, &QTimer::timeout, this, [this] {
            if (++frameLooks_ == kFrameLooks)
                Settle();
            else
                PutRight();
        });
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::Show:
                // The frame is not known yet: the best guess now, put right below.
                window_.move(CentredFrameTopLeft(FrameOf(window_)));
                break;
            // The window manager activates the window once it has framed and mapped it; the
            // frame is known then or soon after.
            case QEvent::WindowActivate:
                if (!activated_)
                    frameLook_.start();
                activated_ = true;
                PutRight();
                break;
            case QEvent::Move:
                if (activated_)
                    PutRight();
                break;
            default:
                break;
        }
        return false;
    }

private:
    QPoint CentredFrameTopLeft(const QMargins& frame) const {
        const QRect screen = window_.screen()->availableGeometry();
        const QSize outer = window_.size().grownBy(frame);
        return screen.center() - QPoint(outer.width() - 1, outer.height() - 1) / 2;
    }

    // Works from the client area and the platform window's frame margins, the facts the window
    // manager has reported, rather than the widget's position, whose frame offset can still be
    // stale right after activation.
    void PutRight() {
        const QMargins frame = FrameOf(window_);
        if (settled_ || frame.isNull())
            return;
        const QPoint client = window_.geometry().topLeft();
        const QPoint offset =
            CentredFrameTopLeft(frame) - (client - QPoint(frame.left(), frame.top()));
        if (offset.isNull() || corrections_ == kMaxCorrections) {
            Settle();
            return;
        }
        ++corrections_;
        window_.windowHandle()->setPosition(client + offset);
    }

    // From here on the position is the user's.
    void Settle() {
        settled_ = true;
        frameLook_.stop();
    }

    QWidget& window_;
    QTimer frameLook_;
    bool activated_ = false;
    bool settled_ = false;
    int corrections_ = 0;
    int frameLooks_ = 0;
};

}  // namespace

void CentreOnScreen(QWidget& window) {
    new ScreenCentring(window);
}

}  // namespace quaymark::ui
