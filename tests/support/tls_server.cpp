#include "tests/support/tls_server.h"

namespace quaymark::testing {

TlsServer::TlsServer()
    : server_(QUAYMARK_TEST_TLS_DIR "/server.pem", QUAYMARK_TEST_TLS_DIR "/server.key") {
    port_ = static_cast<std::uint16_t>(server_.bind_to_any_port("127.0.0.1"));
    thread_ = std::thread([this] { server_.listen_after_bind(); });
}

TlsServer::~TlsServer() {
    // A stop before the accept loop has begun would go unnoticed by the server.
    while (!server_.is_running()) {
        std::this_thread::yield();
    }
    server_.stop();
    thread_.join();
}

std::string TlsServer::CaFile() {
    return QUAYMARK_TEST_TLS_DIR "/ca.pem";
}

}  // namespace quaymark::testing
