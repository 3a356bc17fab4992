#include "ui/submit_list.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "ui/byte_text.h"
#include "ui/desktop.h"
#include "ui/program_dirs.h"
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

RunStarter::RunStarter(RunRouting routing) : m_routing(std::move(routing)) {}

RunResult RunStarter::SubmitList(const std::vector<std::string>& entries, std::uint8_t mode,
                                 const std::string& email, QWidget* owner) {
    if (entries.empty() || UnderWay()) {
        return {};
    }
    const auto progress = std::make_unique<CProgressDlg>(owner);
    m_runWindow = progress.get();
    DesktopFetchPrompt prompt(progress.get());
    SubmitJob job;
    job.items = entries;
    job.mode = mode;
    job.email = email;
    job.limits = m_routing.limits;
    job.connectTo = m_routing.connectTo;
    job.caFile = m_routing.caFile;
    job.indexNow = m_indexNow;
    job.errorPageDir = ErrorPageDirectory();
    SubmitRun run(std::move(job), prompt, *progress);
    QObject::connect(progress.get(), &CProgressDlg::cancelRequested, progress.get(),
                     [&run] { run.RequestCancel(); });

    RunResult result;
    run.Reset();
    RunOffUiThread([&] { result = run.SubmitWorker(); });
    return result;
}

void RunStarter::Cancel() {
    if (!m_runWindow.isNull()) {
        m_runWindow->OnCancel();
    }
}

void RunStarter::CallWhenRunEnds(QObject* context, std::function<void()> call) {
    if (m_runWindow.isNull()) {
        return;
    }
    // The progress window goes as the starter returns; the call then waits for the loop.
    QObject::connect(m_runWindow, &QObject::destroyed, context,
                     [context, call = std::move(call)] { QTimer::singleShot(0, context, call); });
}

void RunOffUiThread(const std::function<void()>& work) {
    QEventLoop waiting;
    std::thread worker([&] {
        work();
        QMetaObject::invokeMethod(&waiting, &QEventLoop::quit, Qt::QueuedConnection);
    });
    waiting.exec();
    worker.join();
}

QString ApplicationTitle() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

}  // namespace quaymark::ui
