#pragma once

#include <QObject>
#include <QPointer>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/profile.h"
#include "app/session.h"

class QWidget;

namespace quaymark::ui {

// Starts runs and waits for them, one at a time, on the UI thread, and cancels the run under
// way. The main window owns one; the failures window's Re-Submit runs through the same.
class RunStarter {
public:
    // The routing is the session's, where the runs' requests go.
    // The run lock, when given, is taken for every run that announces (not for a resend): a
    // run under way elsewhere is told, and the user waits for it or cancels.
    explicit RunStarter(RunRouting routing = {}, std::filesystem::path runLock = {});

    // Runs one submission on a worker thread, showing the progress window (owned by the given
    // window, or by none) while the UI thread keeps every window alive, and returns what the
    // run left once its last request is judged. An empty list fails nothing: no window opens
    // and no worker starts. Refused while another run is under way: nothing, since no run
    // was made. Normal mode: the addresses, each with the e-mail address.
    std::optional<RunResult> SubmitList(const std::vector<std::string>& entries,
                                        const std::string& email, QWidget* owner);
    // Resend mode: the failed requests of an earlier run.
    std::optional<RunResult> SubmitList(const std::vector<RunRequest>& resubmitList,
                                        QWidget* owner);
    // Announce Changes through the modern channels, with the same progress window and Cancel;
    // it needs the history, which remembers the sites' sitemaps. Refused as a run is.
    std::optional<AnnounceOutcome> AnnounceChanges(QWidget* owner);

    // The channels the runs announce through, and where they are recorded: the session's.
    void SetChannels(ChannelSettings channels) { session_.SetChannels(std::move(channels)); }
    const ChannelSettings& channels() const { return session_.channels(); }
    void SetHistory(HistoryWriter* writer) { session_.SetHistory(writer); }
    const RunRouting& routing() const { return session_.routing(); }

    bool UnderWay() const { return static_cast<bool>(cancel_); }
    // Asks the run under way to stop: the progress window's Cancel, a signal, the end of the
    // desktop session.
    void Cancel();
    // Calls back from the event loop once the run under way has ended and its starter has
    // returned; nothing when no run is under way or the context is gone by then.
    void CallWhenRunEnds(QObject* context, std::function<void()> call);

private:
    std::optional<RunResult> Run(PreparedRun run, QWidget* owner);
    // Takes the run lock for a run about to start; false when the user would not wait for
    // the run elsewhere or the lock could not be taken, which is told. Without a run lock,
    // every run may start.
    bool TakeRunLock(QWidget* owner, std::unique_ptr<ListLock>& lock);
    // Runs the work off the UI thread while the run under way can be cancelled; then what
    // waited for the run's end is called.
    void RunUnderWay(std::function<void()> cancel, const std::function<void()>& work);

    RunSession session_;
    std::filesystem::path runLock_;
    // How to cancel the run under way, while its starter waits for it.
    std::function<void()> cancel_;
    std::vector<std::pair<QPointer<QObject>, std::function<void()>>> whenRunEnds_;
};

}  // namespace quaymark::ui
