#include "storage/history.h"

#include <future>
#include <utility>

namespace quaymark {

HistoryWriter::HistoryWriter(History& history, FailureHandler onFailure)
    : history_(history), onFailure_(std::move(onFailure)), thread_([this] { Work(); }) {}

HistoryWriter::~HistoryWriter() {
    Flush();
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void HistoryWriter::Record(HistoryRow row) {
    std::vector<HistoryRow> full;
    {
        const std::lock_guard lock(mutex_);
        rows_.push_back(std::move(row));
        if (rows_.size() < kRowsPerTransaction) {
            return;
        }
        full = std::exchange(rows_, {});
    }
    Post([this, rows = std::move(full)] { Write(rows); });
}

void HistoryWriter::HandOn() {
    std::vector<HistoryRow> rows;
    {
        const std::lock_guard lock(mutex_);
        rows = std::exchange(rows_, {});
    }
    if (!rows.empty()) {
        Post([this, rows = std::move(rows)] { Write(rows); });
    }
}

std::unordered_map<std::string, PageDates> HistoryWriter::AnnouncedDates(
    const std::string& channel) {
    HandOn();
    std::promise<std::unordered_map<std::string, PageDates>> dates;
    Read([&](History* history) {
        dates.set_value(history != nullptr ? history->AnnouncedDates(channel)
                                           : std::unordered_map<std::string, PageDates>{});
    });
    return dates.get_future().get();
}

void HistoryWriter::SetLastmods(std::vector<std::pair<std::string, std::int64_t>> lastmods) {
    PostWrite([lastmods = std::move(lastmods)](History& history) {
        return history.SetLastmods(lastmods);
    });
}

void HistoryWriter::RememberSitemaps(std::vector<RememberedSitemap> sitemaps,
                                     std::vector<SitemapPages> pages) {
    PostWrite([sitemaps = std::move(sitemaps), pages = std::move(pages)](History& history) {
        std::string failure = history.RememberSitemaps(sitemaps);
        return failure.empty() ? history.KeepSitemapPages(pages) : failure;
    });
}

void HistoryWriter::PostWrite(std::function<std::string(History&)> write) {
    Post([this, write = std::move(write)] {
        if (failure().empty()) {
            if (std::string failure = write(history_); !failure.empty()) {
                Failed(std::move(failure));
            }
        }
    });
}

void HistoryWriter::Read(std::function<void(History*)> read) {
    Post([this, read = std::move(read)] { read(failure().empty() ? &history_ : nullptr); });
}

void HistoryWriter::Post(Task task) {
    {
        const std::lock_guard lock(mutex_);
        pending_.push_back(std::move(task));
    }
    changed_.notify_all();
}

void HistoryWriter::Flush() {
    HandOn();
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return pending_.empty() && !working_; });
}

std::string HistoryWriter::failure() const {
    const std::lock_guard lock(mutex_);
    return failure_;
}

void HistoryWriter::Write(const std::vector<HistoryRow>& rows) {
    if (!failure().empty()) {
        return;
    }
    if (std::string failure = history_.Append(rows); !failure.empty()) {
        Failed(std::move(failure));
    }
}

// A history that failed to write (a full disk, a file gone) gives back all it holds at once,
// so that the user's list still finds room when it is saved.
void HistoryWriter::Failed(std::string failure) {
    history_.GiveBack();
    {
        const std::lock_guard lock(mutex_);
        failure_ = failure;
    }
    if (onFailure_) {
        onFailure_(failure);
    }
}

void HistoryWriter::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
        if (pending_.empty()) {
            return;
        }
        const Task task = std::move(pending_.front());
        pending_.pop_front();
        working_ = true;
        lock.unlock();
        task();
        lock.lock();
        working_ = false;
        changed_.notify_all();
    }
}

}  // namespace quaymark
