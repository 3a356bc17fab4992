#pragma once

#include <filesystem>

class QWidget;

namespace quaymark::ui {

// The announcer beside the program (or in the build tree beside it), else on the PATH; empty
// when there is none.
std::filesystem::path AnnouncerPath();

// Whether the daily job's timer is set up.
bool DailyJobOn();

// Sets the daily job up or takes it down: the timer's units written and enabled through the
// user's systemd manager, or disabled and removed. Where no user manager runs, nothing is
// left behind and the crontab line that does the same is shown instead. Every failure is
// told to the user; returns whether the job is now as asked.
bool SetDailyJob(QWidget* owner, bool on);

}  // namespace quaymark::ui
