#pragma once

#include <functional>

namespace quaymark::ui {

// Runs the work on a thread of its own while the UI thread keeps every window alive, and
// returns once it is done. UI thread only.
void RunOffUiThread(const std::function<void()>& work);

}  // namespace quaymark::ui
