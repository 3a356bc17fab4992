#pragma once

#include "engine/channel/channel.h"
#include "storage/history.h"

namespace quaymark {

// A run's records go to the history's writer, which keeps them on its own thread.
class HistoryLog : public RequestLog {
public:
    explicit HistoryLog(HistoryWriter& writer) : writer_(writer) {}

    void Record(HistoryRow row) override { writer_.Record(std::move(row)); }
    void HandOn() override { writer_.HandOn(); }
    std::unordered_map<std::string, PageDates> AnnouncedDates(const std::string& channel) override {
        return writer_.AnnouncedDates(channel);
    }
    HistoryWriter* writer() override { return &writer_; }
    std::unordered_map<std::string, PageCheckRecord> PageChecks() override {
        return writer_.Ask<std::unordered_map<std::string, PageCheckRecord>>(&History::PageChecks);
    }
    std::vector<LastmodTrust> LastmodTrusts() override {
        return writer_.Ask<std::vector<LastmodTrust>>(&History::LastmodTrusts);
    }
    void KeepChecks(std::vector<PageCheckRecord> checks, std::vector<LastmodTrust> trust) override {
        writer_.PostWrite([checks = std::move(checks), trust = std::move(trust)](History& history) {
            std::string failure = history.KeepPageChecks(checks);
            return failure.empty() ? history.KeepLastmodTrust(trust) : failure;
        });
    }

private:
    HistoryWriter& writer_;
};

}  // namespace quaymark
