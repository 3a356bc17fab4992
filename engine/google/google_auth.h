#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/google/service_key.h"
#include "engine/net/status_fetcher.h"

namespace quaymark {

inline constexpr std::string_view kTokenEndpoint = "https://oauth2.googleapis.com/token";
inline constexpr std::string_view kWebmastersScope = "https://www.googleapis.com/auth/webmasters";

// Base64 with the URL's alphabet and no padding, as JSON Web Tokens write it.
std::string Base64Url(std::string_view bytes);

// The service account's assertion for the token endpoint: a JSON Web Token of the
// webmasters scope, valid for an hour from now, signed RS256 with the key; none when OpenSSL
// cannot sign with it.
std::optional<std::string> SignedAssertion(const ServiceKey& key, std::int64_t now);

// An access token and when it stops being good.
struct AccessToken {
    std::string token;
    std::int64_t expiresAt = 0;
};

// What the token endpoint said: a token, or why there is none.
struct TokenAnswer {
    std::optional<AccessToken> token{};
    std::string problem{};
    long status = 0;
};

// Reads the endpoint's answer: {"access_token": ..., "expires_in": seconds}; anything else is
// a problem told with the endpoint's own "error_description" where it gives one.
TokenAnswer ReadTokenAnswer(const StatusAnswer& answer, std::int64_t now);

// Sign-in without a browser: the assertion exchanged for an access token, kept until a
// minute before it expires. Used from one thread.
class GoogleSignIn {
public:
    GoogleSignIn(ServiceKey key, RunRouting routing);

    // A token good now, asking the endpoint only when the one kept is not.
    TokenAnswer Token(std::int64_t now);
    // The token kept is refused: the next Token asks again.
    void Forget() { kept_.reset(); }
    const std::string& account() const { return key_.clientEmail; }

private:
    ServiceKey key_;
    StatusFetcher fetcher_;
    std::optional<AccessToken> kept_;
};

}  // namespace quaymark
