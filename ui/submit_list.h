#pragma once

#include <QObject>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/page_fetcher.h"
#include "engine/submit_run.h"

class QWidget;

namespace quaymark::ui {

class CProgressDlg;

// Where a starter's runs send their requests: the engines' own hosts in the program; loopback
// ports, within short limits, in tests and benchmarks.
struct RunRouting {
    std::map<std::string, std::uint16_t> connectTo;
    FetchLimits limits;
    // A certificate authority to trust beside the system's, for a test's own TLS server.
    std::string caFile;
};

// Starts runs and waits for them, one at a time, on the UI thread. The main window owns one;
// the failures window's Re-Submit runs through the same.
class RunStarter {
public:
    explicit RunStarter(RunRouting routing = {});

    // Runs one submission over a copy of the entries on a worker thread, showing the progress
    // window (owned by the given window, or by none) while the UI thread keeps every window
    // alive, and returns what the run left. An empty list fails nothing: no window opens and
    // no worker starts. Refused, failing nothing, while another run is under way.
    RunResult SubmitList(const std::vector<std::string>& entries, std::uint8_t mode,
                         const std::string& email, QWidget* owner);

    // Announcing through IndexNow in the normal mode, and knowing its requests when resent.
    void SetIndexNow(IndexNowJob indexNow) { m_indexNow = std::move(indexNow); }
    const RunRouting& routing() const { return m_routing; }

    bool UnderWay() const { return !m_runWindow.isNull(); }
    // Asks the run under way to stop, as its Cancel button does.
    void Cancel();
    // Calls back from the event loop once the run under way has ended and its starter has
    // returned; nothing when no run is under way or the context is gone by then.
    void CallWhenRunEnds(QObject* context, std::function<void()> call);

private:
    RunRouting m_routing;
    IndexNowJob m_indexNow;
    QPointer<CProgressDlg> m_runWindow;
};

// Runs the work on a thread of its own while the UI thread keeps every window alive, and
// returns once it is done. UI thread only.
void RunOffUiThread(const std::function<void()>& work);

// The caption of message boxes that have none of their own: the executable's base name.
QString ApplicationTitle();

}  // namespace quaymark::ui
