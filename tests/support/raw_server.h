#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quaymark::testing {

// A loopback TCP server that records every request head byte for byte and answers each
// connection through a handler, which writes raw bytes to the socket. Where exact bytes or
// broken answers matter, this stands in for a real HTTP server.
class RawServer {
public:
    // The handler gets the request head (up to and including the blank line) and the socket.
    using Handler = std::function<void(const std::string& request, int socket)>;

    explicit RawServer(Handler handler);
    ~RawServer();
    RawServer(const RawServer&) = delete;
    RawServer& operator=(const RawServer&) = delete;

    std::uint16_t port() const { return port_; }
    std::vector<std::string> requests() const;

    // Helpers for handlers.
    static void Send(int socket, const std::string& bytes);
    // Makes the server's close of this connection a TCP reset instead of an orderly end.
    static void ResetOnClose(int socket);

private:
    void Serve();

    Handler handler_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

// A handler that answers every request with the same bytes and closes.
RawServer::Handler Answer(std::string bytes);

}  // namespace quaymark::testing
