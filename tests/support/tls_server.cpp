#include "tests/support/tls_server.h"

namespace quaymark::testing {

TlsServer::TlsServer()
    : LoopbackServer(QUAYMARK_TEST_TLS_DIR "/server.pem", QUAYMARK_TEST_TLS_DIR "/server.key") {}

std::string TlsServer::CaFile() {
    return QUAYMARK_TEST_TLS_DIR "/ca.pem";
}

}  // namespace quaymark::testing
