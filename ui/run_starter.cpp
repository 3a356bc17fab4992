#include "ui/run_starter.h"

#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

#include "ui/byte_text.h"
#include "ui/desktop.h"
#include "ui/off_ui_thread.h"
#include "ui/program_title.h"
#include "ui/progress_window.h"

namespace quaymark::ui {
namespace {

// Runs the call on the UI thread and holds the calling worker until it is done. The answer
// passes through a standard mutex, so that every tool sees it ordered with the worker.
template <typename Call>
void AskOnUiThread(QObject* uiContext, Call call) {
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    QMetaObject::invokeMethod(
        uiContext,
        [&] {
            call();
            const std::lock_guard lock(mutex);
            done = true;
            answered.notify_one();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(mutex);
    answered.wait(lock, [&] { return done; });
}

// The fetch's two questions to the user, asked on the UI thread while the worker waits for
// the answer.
class DesktopFetchPrompt : public FetchPrompt {
public:
    explicit DesktopFetchPrompt(QObject* uiContext) : uiContext_(uiContext) {}

    void ShowCannotOpenConnection() override {
        AskOnUiThread(uiContext_, [] {
            ShowMessage(nullptr, QStringLiteral("Cannot open internet connection."),
                        ApplicationTitle(), MessageIcon::Warning);
        });
    }

    std::optional<Credentials> AskCredentials(const std::string& url) override {
        std::optional<Credentials> credentials;
        AskOnUiThread(uiContext_, [&] { credentials = ui::AskCredentials(DisplayText(url)); });
        return credentials;
    }

private:
    QObject* uiContext_;
};

}  // namespace

const QString kRunElsewhereText = QStringLiteral(
    "Another announcement is under way: quaymark-announce, the daily job or another %1 is "
    "sending. Wait for it to end, then go on?\n\nNo cancels this run; nothing is sent twice.");
const QString kRunLockFailedText =
    QStringLiteral("The run could not start: the run lock %1 could not be taken (%2).");
constexpr std::string_view kWaitingName = "Waiting for the other announcement";

RunStarter::RunStarter(RunRouting routing, std::filesystem::path runLock)
    : session_(std::move(routing)), runLock_(std::move(runLock)) {}

bool RunStarter::TakeRunLock(QWidget* owner, std::unique_ptr<ListLock>& lock) {
    if (runLock_.empty()) {
        return true;
    }
    lock = std::make_unique<ListLock>(runLock_);
    if (lock->heldElsewhere() &&
        AskYesNo(owner, kRunElsewhereText.arg(kProgramTitle), kProgramTitle)) {
        // Waited for off the UI thread, with the progress window's Cancel.
        CProgressDlg progress(owner);
        QObject::connect(&progress, &CProgressDlg::cancelRequested, &progress,
                         [this] { Cancel(); });
        std::atomic<bool> cancelled{false};
        RunUnderWay([&cancelled] { cancelled = true; },
                    [&] {
                        progress.RunStarted(1, 1, 0);
                        progress.AddressStarted(runLock_.string());
                        progress.EngineStarted(kWaitingName);
                        lock = WaitForLock(runLock_, std::chrono::hours(24), {},
                                           [&cancelled] { return cancelled.load(); });
                        progress.RunEnded();
                    });
    }
    if (!lock->held() && !lock->heldElsewhere()) {
        ShowMessage(owner,
                    kRunLockFailedText.arg(DisplayText(runLock_.string()),
                                           QString::fromStdString(lock->error().message())),
                    kProgramTitle, MessageIcon::Warning);
    }
    return lock->held();
}

std::optional<RunResult> RunStarter::SubmitList(const std::vector<std::string>& entries,
                                                const std::string& email, QWidget* owner) {
    return Run(session_.Submit(entries, email), owner);
}

std::optional<RunResult> RunStarter::SubmitList(const std::vector<RunRequest>& resubmitList,
                                                QWidget* owner) {
    return Run(session_.Resend(resubmitList), owner);
}

std::optional<RunResult> RunStarter::Run(PreparedRun run, QWidget* owner) {
    if (UnderWay()) {
        return std::nullopt;
    }
    if (run.empty()) {
        return RunResult{};
    }
    std::unique_ptr<ListLock> runLock;
    if (run.announces() && !TakeRunLock(owner, runLock)) {
        return std::nullopt;
    }
    CProgressDlg progress(owner);
    DesktopFetchPrompt prompt(&progress);
    std::stop_source stop;
    QObject::connect(&progress, &CProgressDlg::cancelRequested, &progress, [this] { Cancel(); });

    RunResult result;
    RunUnderWay([&stop] { stop.request_stop(); },
                [&] { result = run.Run(prompt, progress, stop.get_token()); });
    return result;
}

std::optional<AnnounceOutcome> RunStarter::AnnounceChanges(QWidget* owner) {
    if (UnderWay()) {
        return std::nullopt;
    }
    if (!session_.HasHistory()) {
        return AnnounceOutcome{.setup = AnnounceOutcome::Setup::NoSitemap};
    }
    std::unique_ptr<ListLock> runLock;
    if (!TakeRunLock(owner, runLock)) {
        return std::nullopt;
    }
    CProgressDlg progress(owner);
    std::stop_source stop;
    PreparedAnnouncement announce = session_.Announce(progress, stop.get_token());
    QObject::connect(&progress, &CProgressDlg::cancelRequested, &progress, [this] { Cancel(); });
    AnnounceOutcome outcome;
    RunUnderWay([&stop] { stop.request_stop(); }, [&] { outcome = announce.Run(); });
    return outcome;
}

void RunStarter::RunUnderWay(std::function<void()> cancel, const std::function<void()>& work) {
    cancel_ = std::move(cancel);
    RunOffUiThread(work);
    cancel_ = nullptr;
    for (auto& [context, call] : std::exchange(whenRunEnds_, {})) {
        if (!context.isNull()) {
            QTimer::singleShot(0, context, std::move(call));
        }
    }
}

void RunStarter::Cancel() {
    if (cancel_) {
        cancel_();
    }
}

void RunStarter::CallWhenRunEnds(QObject* context, std::function<void()> call) {
    if (UnderWay()) {
        whenRunEnds_.emplace_back(context, std::move(call));
    }
}

}  // namespace quaymark::ui
