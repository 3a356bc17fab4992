#include "ui/off_ui_thread.h"

#include <QEventLoop>
#include <thread>

namespace quaymark::ui {

void RunOffUiThread(const std::function<void()>& work) {
    QEventLoop waiting;
    std::thread worker([&] {
        work();
        QMetaObject::invokeMethod(&waiting, &QEventLoop::quit, Qt::QueuedConnection);
    });
    waiting.exec();
    worker.join();
}

}  // namespace quaymark::ui
