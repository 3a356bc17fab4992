#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/page_fetcher.h"
#include "engine/submit_run.h"

namespace quaymark::ui {

// Runs one submission over a copy of the entries on a worker thread, showing the progress
// window (owned by the given window, or by none) while the UI thread keeps every window
// alive. Fills the results' lists and returns whether any request failed. An empty list
// fails nothing: no window opens and no worker starts.
bool SubmitList(SubmitResults& results, const std::vector<std::string>& entries, std::uint8_t mode,
                QWidget* owner);

// Whether a run is under way: the run variables are process-wide, so a second one must wait.
bool IsRunUnderWay();
// Asks the run under way to stop, as its Cancel button does.
void CancelRunUnderWay();
// Calls back from the event loop once the run under way has ended and its starter returned;
// nothing when no run is under way or the context is gone by then.
void CallWhenRunEnds(QObject* context, std::function<void()> call);

// For tests and benchmarks: every run's requests reach loopback ports, within the given
// limits. The program never sets it.
struct RunRouting {
    std::map<std::string, std::uint16_t> connectTo;
    FetchLimits limits;
};
void SetRunRoutingForTests(RunRouting routing);

// The caption of message boxes that have none of their own: the executable's base name.
QString ApplicationTitle();

}  // namespace quaymark::ui
