#include "ui/history_keeper.h"

#include <QPointer>
#include <ctime>

#include "app/profile.h"
#include "ui/byte_text.h"
#include "ui/off_ui_thread.h"

namespace quaymark::ui {

HistoryKeeper::HistoryKeeper(std::filesystem::path path) : path_(std::move(path)) {
    connect(this, &HistoryKeeper::failed, this, [this] { gone_ = true; });
}

HistoryKeeper::~HistoryKeeper() = default;

QString HistoryKeeper::OpenAtStart() {
    return FileExists(path_) ? Open() : QString();
}

QString HistoryKeeper::Open() {
    History::Opened opened = History::Open(path_);
    if (!opened.history) {
        gone_ = true;
        return DisplayText(opened.problem + " " + std::string(kNoHistoryText));
    }
    path_ = opened.path;
    history_ = std::move(opened.history);
    // The writer's thread tells; the signal reaches the UI thread queued.
    writer_ = std::make_unique<HistoryWriter>(*history_, [this](const std::string& failure) {
        emit failed(DisplayText("The history " + path_.string() + " could not be written: " +
                                failure + ". " + std::string(kNoHistoryText)));
    });
    return DisplayText(opened.problem);
}

HistoryWriter* HistoryKeeper::Writer() {
    if (gone_) {
        return nullptr;
    }
    if (!writer_) {
        if (const QString problem = Open(); !problem.isEmpty()) {
            emit failed(problem);
        }
    }
    return writer_.get();
}

void HistoryKeeper::ReadContents(QObject* context, std::vector<std::string> addresses,
                                 std::function<void(HistoryTable, HistoryContents)> done) {
    HistoryWriter* writer = Writer();
    if (writer == nullptr) {
        done(MakeHistoryTable(addresses, {}, std::time(nullptr)), {});
        return;
    }
    writer->Read([context = QPointer<QObject>(context), addresses = std::move(addresses),
                  done = std::move(done)](History* history) {
        HistoryContents contents;
        if (history != nullptr) {
            contents = ReadHistoryContents(*history);
        }
        HistoryTable table = MakeHistoryTable(addresses, contents, std::time(nullptr));
        QMetaObject::invokeMethod(
            context.data(),
            [context, done, table = std::move(table), contents = std::move(contents)]() mutable {
                if (!context.isNull()) {
                    done(std::move(table), std::move(contents));
                }
            },
            Qt::QueuedConnection);
    });
}

void HistoryKeeper::TellUntoldFailure(QObject* context, std::function<void(AnnouncerRun)> tell) {
    if (!writer_) {
        return;
    }
    writer_->Read([context = QPointer<QObject>(context), tell = std::move(tell)](History* history) {
        std::optional<AnnouncerRun> failed;
        if (history != nullptr) {
            failed = history->TakeUntoldFailure();
        }
        if (!failed) {
            return;
        }
        QMetaObject::invokeMethod(
            context.data(),
            [context, tell, run = std::move(*failed)] {
                if (!context.isNull()) {
                    tell(run);
                }
            },
            Qt::QueuedConnection);
    });
}

void HistoryKeeper::Finish() {
    if (!writer_) {
        return;
    }
    RunOffUiThread([this] {
        writer_.reset();
        history_.reset();
    });
}

}  // namespace quaymark::ui
