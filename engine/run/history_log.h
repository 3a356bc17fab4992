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

private:
    HistoryWriter& writer_;
};

}  // namespace quaymark
