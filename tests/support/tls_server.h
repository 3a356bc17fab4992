#pragma once

#include <httplib.h>

#include <string>

#include "tests/support/loopback_server.h"

namespace quaymark::testing {

// An HTTPS server of the test on 127.0.0.1, with a certificate for api.indexnow.test,
// *.example.test, Google's three API hosts, ssl.bing.com, api.webmaster.yandex.net and
// data.zz.baidu.com, issued by the test's own authority (CaFile()), serving until the test ends.
class TlsServer : public LoopbackServer<httplib::SSLServer> {
public:
    TlsServer();
    // The authority that issued the server's certificate, for the fetch to trust.
    static std::string CaFile();
};

}  // namespace quaymark::testing
