#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace quaymark::testing {

// A loopback DNS server over UDP that answers PTR, A and AAAA questions from its table and
// "no such name" to the rest; names it is told to ignore get no answer at all. It drains every
// question waiting before it answers, and counts the most it found waiting at once: what the
// client had in flight at least.
class FakeDns {
public:
    FakeDns();
    ~FakeDns();
    FakeDns(const FakeDns&) = delete;
    FakeDns& operator=(const FakeDns&) = delete;

    // "127.0.0.1:port", for a resolver's server list.
    std::string server() const;

    // address's reverse name points at name.
    void Pointer(const std::string& address, const std::string& name);
    // name's forward lookup gives the address (A or AAAA as the address is).
    void Forward(const std::string& name, const std::string& address);
    // Questions of this name are never answered.
    void Ignore(const std::string& name);

    std::size_t questions() const { return questions_; }
    std::size_t peakWaiting() const { return peakWaiting_; }

    // "4.3.2.1.in-addr.arpa" or the nibbles of an IPv6 address under ip6.arpa.
    static std::string ReverseName(const std::string& address);

private:
    void Serve();
    std::string Answer(const std::string& query);

    int socket_ = -1;
    std::uint16_t port_ = 0;
    mutable std::mutex mutex_;
    // By lower-case name and question type.
    std::map<std::pair<std::string, int>, std::vector<std::string>> records_;
    std::set<std::string> ignored_;
    std::atomic<std::size_t> questions_{0};
    std::atomic<std::size_t> peakWaiting_{0};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace quaymark::testing
