#pragma once

#include <cstdint>
#include <thread>
#include <utility>

namespace quaymark::testing {

// A cpp-httplib server (plain or TLS) on 127.0.0.1, serving on a thread of its own for as
// long as it lives.
template <typename Server>
class LoopbackServer {
public:
    template <typename... ServerArgs>
    explicit LoopbackServer(ServerArgs&&... serverArgs)
        : server_(std::forward<ServerArgs>(serverArgs)...) {
        // Else an answer written in two parts waits for the client's delayed acknowledgement.
        server_.set_tcp_nodelay(true);
        port_ = static_cast<std::uint16_t>(server_.bind_to_any_port("127.0.0.1"));
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    ~LoopbackServer() {
        // A stop before the accept loop has begun would go unnoticed by the server.
        while (!server_.is_running()) {
            std::this_thread::yield();
        }
        server_.stop();
        thread_.join();
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    Server* operator->() { return &server_; }
    std::uint16_t port() const { return port_; }

private:
    Server server_;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

}  // namespace quaymark::testing
