#pragma once

#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "engine/channel/error_pages.h"
#include "engine/run/announce_changes.h"
#include "engine/run/channel_kinds.h"
#include "engine/run/history_log.h"
#include "engine/run/submit_run.h"
#include "storage/history.h"

namespace quaymark {

// One run, made on the thread that starts it and run on a worker: it keeps the history's
// writer it was made with, whatever the session is given meanwhile.
class PreparedRun {
public:
    PreparedRun(SubmitJob job, HistoryWriter* writer) : job_(std::move(job)), writer_(writer) {}

    bool empty() const { return job_.items.empty() && job_.resendItems.empty(); }
    bool announces() const { return job_.mode == SubmitJob::Normal; }
    // Sends it; its records are handed on to the history's writer before it returns.
    RunResult Run(FetchPrompt& prompt, RunObserver& observer, std::stop_token stop);

private:
    SubmitJob job_;
    HistoryWriter* writer_;
};

// Announce Changes with the stores it reads and keeps in, made on the thread that starts it and
// run on a worker.
class PreparedAnnouncement {
public:
    PreparedAnnouncement(AnnounceJob job, HistoryWriter& writer, RunObserver& observer,
                         std::stop_token stop)
        : stores_(writer), run_(std::move(job), stores_, observer, std::move(stop)) {}

    AnnounceOutcome Run() { return run_.Run(); }

private:
    HistoryStores stores_;
    quaymark::AnnounceChanges run_;
};

// What the faces ask for a run: the user's channels and history, and where the requests go.
// It makes the runs; the face shows them and decides on which thread they run.
class RunSession {
public:
    // The routing is where the runs' requests go: the engines' own hosts in the program;
    // loopback ports, within short limits, in tests and benchmarks.
    explicit RunSession(RunRouting routing = {}) : routing_(std::move(routing)) {}

    // The channels the runs announce through, as the user's settings and keys give them.
    void SetChannels(ChannelSettings channels) { channels_ = std::move(channels); }
    const ChannelSettings& channels() const { return channels_; }
    // Where every request of the runs is recorded, written on a thread of its own; none when
    // null.
    void SetHistory(HistoryWriter* writer) { writer_ = writer; }
    bool HasHistory() const { return writer_ != nullptr; }
    const RunRouting& routing() const { return routing_; }

    // Normal mode: the addresses, each with the e-mail address, through the channels on.
    PreparedRun Submit(std::vector<std::string> entries, std::string email) const;
    // Resend mode: the failed requests of an earlier run.
    PreparedRun Resend(std::vector<RunRequest> requests) const;
    // Announce Changes through the modern channels; it needs the history, which remembers
    // the sites' sitemaps.
    PreparedAnnouncement Announce(RunObserver& observer, std::stop_token stop) const;

private:
    PreparedRun Prepare(SubmitJob job) const;

    RunRouting routing_;
    ChannelSettings channels_;
    HistoryWriter* writer_ = nullptr;
};

}  // namespace quaymark
