#pragma once

#include <httplib.h>

#include <cstdint>
#include <string>
#include <thread>

namespace quaymark::testing {

// An HTTPS server of the test on 127.0.0.1, with a certificate for api.indexnow.test and
// *.example.test issued by the test's own authority (CaFile()), serving until the test ends.
class TlsServer {
public:
    TlsServer();
    ~TlsServer();
    TlsServer(const TlsServer&) = delete;
    TlsServer& operator=(const TlsServer&) = delete;

    httplib::Server* operator->() { return &server_; }
    std::uint16_t port() const { return port_; }
    // The authority that issued the server's certificate, for the fetch to trust.
    static std::string CaFile();

private:
    httplib::SSLServer server_;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

}  // namespace quaymark::testing
