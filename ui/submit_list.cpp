#include "ui/submit_list.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>
#include <atomic>
#include <memory>
#include <thread>

#include "engine/run_state.h"
#include "ui/byte_text.h"
#include "ui/desktop.h"
#include "ui/program_dirs.h"
#include "ui/progress_window.h"
#include "ui/thread_bridge.h"

namespace quaymark::ui {
namespace {

RunRouting& Routing() {
    static RunRouting routing;
    return routing;
}

// The progress window of the run under way, if any.
CProgressDlg*& RunWindow() {
    static CProgressDlg* window = nullptr;
    return window;
}

// The fetch's questions to the user, asked on the UI thread while the worker waits.
class DesktopFetchPrompt : public FetchPrompt {
public:
    explicit DesktopFetchPrompt(UiCallQueue& calls) : calls_(calls) {}

    void ShowCannotOpenConnection() override {
        calls_.Run([] {
            ShowMessage(nullptr, QStringLiteral("Cannot open internet connection."),
                        ApplicationTitle(), MessageIcon::Warning);
        });
    }

    std::optional<Credentials> AskCredentials(const std::string& url) override {
        std::optional<Credentials> credentials;
        calls_.Run([&] { credentials = ui::AskCredentials(DisplayText(url)); });
        return credentials;
    }

private:
    UiCallQueue& calls_;
};

// Between polls the UI thread sleeps until an event arrives; the worker posts one when it
// publishes the run's end, so a flag seen unset before the sleep cannot be missed.
void AwaitRun(CProgressDlg& progress) {
    constexpr auto sleep = CProgressDlg::Wait::ForEvent;
    while (!CancelFlag.load(std::memory_order_acquire)) {
        if (progress.PollCancel(sleep)) {
            CancelFlag.store(true, std::memory_order_release);
        }
    }
    while (!WorkerDoneFlag.load(std::memory_order_acquire)) {
        progress.PollCancel(sleep);
    }
}

struct RunGuard {
    explicit RunGuard(CProgressDlg* window) { RunWindow() = window; }
    ~RunGuard() { RunWindow() = nullptr; }
};

}  // namespace

bool SubmitList(SubmitResults& results, const std::vector<std::string>& entries, std::uint8_t mode,
                QWidget* owner) {
    results.FailureList.clear();
    results.ResubmitList.clear();
    if (entries.empty()) {
        return false;
    }
    const std::vector<std::string> items = entries;
    const auto progress = std::make_unique<CProgressDlg>(owner);
    const RunGuard guard(progress.get());
    DesktopFetchPrompt prompt(progress->calls());

    SubmitJob job;
    job.mainDlg = &results;
    job.progressDlg = progress.get();
    job.items = &items;
    job.mode = mode;
    job.prompt = &prompt;
    job.errorPageDir = ErrorPageDirectory();
    job.limits = Routing().limits;
    job.connectTo = Routing().connectTo;
    job.wakeStarter = [&calls = progress->calls()] { calls.Wake(); };

    ResetRunVariables();
    std::thread worker(SubmitWorker, &job);
    AwaitRun(*progress);
    worker.join();
    return RunFailedFlag.load(std::memory_order_acquire);
}

bool IsRunUnderWay() {
    return RunWindow() != nullptr;
}

void CancelRunUnderWay() {
    if (RunWindow() != nullptr) {
        RunWindow()->OnCancel();
    }
}

void CallWhenRunEnds(QObject* context, std::function<void()> call) {
    if (RunWindow() == nullptr) {
        return;
    }
    // The progress window goes as the starter returns; the call then waits for the loop.
    QObject::connect(RunWindow(), &QObject::destroyed, context,
                     [context, call = std::move(call)] { QTimer::singleShot(0, context, call); });
}

void SetRunRoutingForTests(RunRouting routing) {
    Routing() = std::move(routing);
}

QString ApplicationTitle() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

}  // namespace quaymark::ui
