// Reading Google's answers and a key file: whatever the bytes, nothing but a bounded text or
// nothing comes out, and a property matched to a page is one Google listed.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/google/google_auth.h"
#include "engine/google/search_console.h"
#include "engine/google/service_key.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    if (const auto properties = quaymark::ReadProperties(body)) {
        if (const auto property = quaymark::PropertyFor("https://www.a.test/p", *properties)) {
            bool listed = false;
            for (const quaymark::Property& known : *properties) {
                listed = listed || known.siteUrl == *property;
            }
            if (!listed) {
                std::abort();
            }
        }
    }
    if (const auto inspection = quaymark::ReadInspection(body);
        inspection && (inspection->verdict.empty() || inspection->coverage.size() > 512)) {
        std::abort();
    }
    if (quaymark::ApiErrorMessage(body).size() > 512) {
        std::abort();
    }
    const quaymark::TokenAnswer token =
        quaymark::ReadTokenAnswer({.status = 200, .body = body}, 1000);
    if (token.token && (token.token->token.empty() || token.token->expiresAt <= 1000)) {
        std::abort();
    }
    quaymark::ReadServiceKey(body);
    return 0;
}
