#include "tests/support/fake_dns.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace quaymark::testing {
namespace {

constexpr int kA = 1;
constexpr int kPtr = 12;
constexpr int kAaaa = 28;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string EncodeName(const std::string& name) {
    std::string out;
    std::size_t start = 0;
    while (start < name.size()) {
        const std::size_t dot = std::min(name.find('.', start), name.size());
        out += static_cast<char>(dot - start);
        out += name.substr(start, dot - start);
        start = dot + 1;
    }
    return out + '\0';
}

void Put16(std::string& out, int value) {
    out += static_cast<char>((value >> 8) & 0xff);
    out += static_cast<char>(value & 0xff);
}

}  // namespace

FakeDns::FakeDns() {
    socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        throw std::runtime_error("cannot bind on loopback");
    }
    const int big = 8 << 20;
    ::setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    socklen_t length = sizeof address;
    ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

FakeDns::~FakeDns() {
    stopping_ = true;
    thread_.join();
    ::close(socket_);
}

std::string FakeDns::server() const {
    return "127.0.0.1:" + std::to_string(port_);
}

void FakeDns::Pointer(const std::string& address, const std::string& name) {
    const std::lock_guard lock(mutex_);
    records_[{Lower(ReverseName(address)), kPtr}].push_back(name);
}

void FakeDns::Forward(const std::string& name, const std::string& address) {
    const std::lock_guard lock(mutex_);
    const int type = address.find(':') == std::string::npos ? kA : kAaaa;
    records_[{Lower(name), type}].push_back(address);
}

void FakeDns::Ignore(const std::string& name) {
    const std::lock_guard lock(mutex_);
    ignored_.insert(Lower(name));
}

std::string FakeDns::ReverseName(const std::string& address) {
    unsigned char bytes[16];
    std::string name;
    if (inet_pton(AF_INET, address.c_str(), bytes) == 1) {
        for (int i = 3; i >= 0; --i) {
            name += std::to_string(bytes[i]) + '.';
        }
        return name + "in-addr.arpa";
    }
    if (inet_pton(AF_INET6, address.c_str(), bytes) == 1) {
        static constexpr char kHex[] = "0123456789abcdef";
        for (int i = 15; i >= 0; --i) {
            name += kHex[bytes[i] & 0xf];
            name += '.';
            name += kHex[bytes[i] >> 4];
            name += '.';
        }
        return name + "ip6.arpa";
    }
    return address;
}

// The answer to a query, or nothing when the name is ignored or the query is not one.
std::string FakeDns::Answer(const std::string& query) {
    if (query.size() < 12) {
        return {};
    }
    std::string name;
    std::size_t at = 12;
    while (at < query.size() && query[at] != 0) {
        const std::size_t length = static_cast<unsigned char>(query[at]);
        if (!name.empty()) {
            name += '.';
        }
        name += query.substr(at + 1, length);
        at += length + 1;
    }
    if (at + 5 > query.size()) {
        return {};
    }
    const int type = (static_cast<unsigned char>(query[at + 1]) << 8) |
                     static_cast<unsigned char>(query[at + 2]);
    const std::string question = query.substr(12, at + 5 - 12);
    std::vector<std::string> found;
    {
        const std::lock_guard lock(mutex_);
        if (ignored_.count(Lower(name)) != 0) {
            return {};
        }
        if (const auto it = records_.find({Lower(name), type}); it != records_.end()) {
            found = it->second;
        }
    }
    std::string out = query.substr(0, 2);
    const bool known = !found.empty();
    out += static_cast<char>(0x81);                 // a response, recursion desired
    out += static_cast<char>(known ? 0x80 : 0x83);  // recursion available; NXDOMAIN when unknown
    Put16(out, 1);
    Put16(out, static_cast<int>(found.size()));
    Put16(out, 0);
    Put16(out, 0);
    out += question;
    for (const std::string& value : found) {
        out += "\xc0\x0c";  // the question's name
        Put16(out, type);
        Put16(out, 1);
        out += std::string("\0\0\x0e\x10", 4);  // an hour
        std::string data;
        if (type == kPtr) {
            data = EncodeName(value);
        } else {
            unsigned char bytes[16];
            inet_pton(type == kA ? AF_INET : AF_INET6, value.c_str(), bytes);
            data.assign(reinterpret_cast<char*>(bytes), type == kA ? 4 : 16);
        }
        Put16(out, static_cast<int>(data.size()));
        out += data;
    }
    return out;
}

void FakeDns::Serve() {
    while (!stopping_) {
        pollfd p{socket_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) {
            continue;
        }
        struct Waiting {
            std::string query;
            sockaddr_storage from;
            socklen_t length;
        };
        std::vector<Waiting> waiting;
        for (;;) {
            Waiting w{
                .query = std::string(1500, '\0'), .from = {}, .length = sizeof(sockaddr_storage)};
            const ssize_t n = ::recvfrom(socket_, w.query.data(), w.query.size(), MSG_DONTWAIT,
                                         reinterpret_cast<sockaddr*>(&w.from), &w.length);
            if (n <= 0) {
                break;
            }
            w.query.resize(static_cast<std::size_t>(n));
            waiting.push_back(std::move(w));
        }
        questions_ += waiting.size();
        peakWaiting_ = std::max(peakWaiting_.load(), waiting.size());
        for (const Waiting& w : waiting) {
            const std::string answer = Answer(w.query);
            if (!answer.empty()) {
                ::sendto(socket_, answer.data(), answer.size(), 0,
                         reinterpret_cast<const sockaddr*>(&w.from), w.length);
            }
        }
    }
}

}  // namespace quaymark::testing
