#pragma once

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <vector>

namespace quaymark::ui::testing {

// Answers modal windows as they open: each step waits for the active modal window to be of
// its type and then acts on it. Steps run in order, from the event loop of whatever modal
// window is running at the time.
class ModalDriver {
public:
    ModalDriver() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start(5);
    }

    template <typename Window>
    ModalDriver& Then(std::function<void(Window*)> act) {
        steps_.push_back([act](QWidget* modal) {
            auto* window = qobject_cast<Window*>(modal);
            if (window == nullptr) {
                return false;
            }
            act(window);
            return true;
        });
        return *this;
    }

    bool done() const { return next_ == steps_.size(); }

private:
    void Poll() {
        if (busy_ || done()) {
            return;
        }
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible()) {
            return;
        }
        busy_ = true;
        const bool acted = steps_[next_](modal);
        if (acted) {
            ++next_;
        }
        busy_ = false;
    }

    QTimer timer_;
    std::vector<std::function<bool(QWidget*)>> steps_;
    std::size_t next_ = 0;
    bool busy_ = false;
};

}  // namespace quaymark::ui::testing
