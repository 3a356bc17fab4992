#pragma once

#include <ostream>
#include <string>

#include "app/announcing.h"

namespace quaymark::cli {

// What a terminal can show of a text from the web: control bytes become "?".
std::string Printable(std::string text);

// The announcer's progress on standard error: a bar redrawn in place on a terminal, a plain
// line for each step otherwise (a log, a pipe, the journal); nothing when quiet.
class ProgressLines : public RunObserver {
public:
    ProgressLines(std::ostream& err, bool terminal, bool quiet)
        : err_(err), terminal_(terminal), quiet_(quiet) {}

    void RunStarted(int itemCount, int stepsPerItem, int extraSteps) override;
    void AddressStarted(const std::string& item) override { item_ = item; }
    void EngineStarted(std::string_view engine) override;
    void RequestDone() override;
    void FailureRecorded(const FailureRecord&) override {}
    void WaitStarted(std::string_view engine, std::chrono::seconds wait,
                     std::string_view why) override;
    void WaitEnded() override {}
    void RunEnded() override;

private:
    void Show(const std::string& text);

    std::ostream& err_;
    bool terminal_;
    bool quiet_;
    long long total_ = 0;
    long long done_ = 0;
    std::string item_;
    std::string engine_;
    bool barShown_ = false;
};

}  // namespace quaymark::cli
