#pragma once

#include <QObject>
#include <QString>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/history_table.h"

namespace quaymark::ui {

// The one history of a session: looked at once at start, opened once (then, when its file is
// there, else by the first run or import that has something to keep), lent to the runs, the
// import and the History window, and finished before the list is saved at the end. The UI
// thread never waits for it while the program runs.
class HistoryKeeper : public QObject {
    Q_OBJECT

public:
    explicit HistoryKeeper(std::filesystem::path path);
    ~HistoryKeeper() override;

    // Opens the history when its file is there; what the user should be told of it, if
    // anything.
    QString OpenAtStart();
    // The history's writer, opening it on first use; none when there is no history.
    HistoryWriter* Writer();
    bool Available() const { return !gone_; }
    // Reads what the history holds of every address and every site's sitemaps, and makes the
    // table of the given addresses from it, off the UI thread; the answer comes on the UI
    // thread, to the context while it lives.
    void ReadContents(QObject* context, std::vector<std::string> addresses,
                      std::function<void(HistoryTable, HistoryContents)> done);
    // The daily timer's last run, when it failed and nobody has been told, off the UI
    // thread, to the context while it lives; nothing when the history was not there at start.
    void TellUntoldFailure(QObject* context, std::function<void(AnnouncerRun)> tell);
    // At the end: the rows still waiting are written (the UI thread's windows stay alive
    // meanwhile) and the history is closed, so that it holds no room on the disk before the
    // list is saved.
    void Finish();

signals:
    // What the user should be told when the history could not be written; from then on the
    // program goes on without one.
    void failed(const QString& text);

private:
    QString Open();

    std::filesystem::path path_;
    bool gone_ = false;
    std::unique_ptr<History> history_;
    std::unique_ptr<HistoryWriter> writer_;
};

}  // namespace quaymark::ui
