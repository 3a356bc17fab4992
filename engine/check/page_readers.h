#pragma once

#include <curl/curl.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "engine/check/page_checker.h"

namespace quaymark {

// More readers than this wait on the fetching rather than help it.
inline constexpr std::size_t kMaxReaders = 8;

// Another address than the page's own, as both are normalised.
bool Elsewhere(const std::string& canonical, const std::string& address);

// What a page's HTML says of it, added to the check its answer began (with whom its headers
// said noindex to).
void ReadHtml(PageCheck& check, std::string_view body);

// The pages' HTML read on every core while the transfers go on. The loop hands each body
// over and takes the checks back; a reader wakes the loop's wait when one is ready.
class Readers {
public:
    Readers(std::size_t threads, CURLM* multi) : multi_(multi) {
        for (std::size_t i = 0; i < threads; ++i) {
            threads_.emplace_back([this] { Work(); });
        }
    }
    ~Readers() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        for (std::thread& thread : threads_) {
            thread.join();
        }
    }
    Readers(const Readers&) = delete;
    Readers& operator=(const Readers&) = delete;

    void Hand(std::size_t index, PageCheck check, std::string body) {
        {
            const std::lock_guard lock(mutex_);
            waiting_.push_back({index, std::move(check), std::move(body)});
            ++outstanding_;
        }
        changed_.notify_one();
    }
    // Enough handed over to keep every reader busy: nothing more is fetched until some are read.
    bool Full() const {
        const std::lock_guard lock(mutex_);
        return outstanding_ >= 2 * threads_.size();
    }
    // The checks read so far, each with its index; whether any is still being read.
    bool Take(std::vector<std::pair<std::size_t, PageCheck>>& read) {
        const std::lock_guard lock(mutex_);
        read = std::exchange(read_, {});
        outstanding_ -= read.size();
        return outstanding_ > 0;
    }

private:
    struct Task {
        std::size_t index;
        PageCheck check;
        std::string body;
    };
    void Work() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
            if (stopping_) {
                return;
            }
            Task task = std::move(waiting_.front());
            waiting_.pop_front();
            lock.unlock();
            ReadHtml(task.check, task.body);
            lock.lock();
            read_.emplace_back(task.index, std::move(task.check));
            curl_multi_wakeup(multi_);
        }
    }

    CURLM* multi_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Task> waiting_;
    std::vector<std::pair<std::size_t, PageCheck>> read_;
    std::size_t outstanding_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace quaymark
