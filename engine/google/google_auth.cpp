#include "engine/google/google_auth.h"

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <algorithm>
#include <memory>
#include <nlohmann/json.hpp>

#include "base/utf8.h"
#include "engine/net/http_text.h"

namespace quaymark {
namespace {

// A token is taken for expired this long before it does.
constexpr std::int64_t kTokenMarginSeconds = 60;
constexpr std::int64_t kAssertionSeconds = 3600;

// RS256: the SHA-256 of the text, signed with the RSA key.
std::optional<std::string> SignRs256(const std::string& pem, std::string_view text) {
    const std::unique_ptr<BIO, decltype(&BIO_free)> bio(
        BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), &BIO_free);
    if (!bio) {
        return std::nullopt;
    }
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr), &EVP_PKEY_free);
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                          &EVP_MD_CTX_free);
    std::size_t length = 0;
    if (!key || !context ||
        EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
        EVP_DigestSign(context.get(), nullptr, &length,
                       reinterpret_cast<const unsigned char*>(text.data()), text.size()) != 1) {
        return std::nullopt;
    }
    std::string signature(length, '\0');
    if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                       reinterpret_cast<const unsigned char*>(text.data()), text.size()) != 1) {
        return std::nullopt;
    }
    signature.resize(length);
    return signature;
}

}  // namespace

std::string Base64Url(std::string_view bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                                        reinterpret_cast<const unsigned char*>(bytes.data()),
                                        static_cast<int>(bytes.size()));
    text.resize(static_cast<std::size_t>(written));
    while (!text.empty() && text.back() == '=') {
        text.pop_back();
    }
    for (char& c : text) {
        c = c == '+' ? '-' : c == '/' ? '_' : c;
    }
    return text;
}

std::optional<std::string> SignedAssertion(const ServiceKey& key, std::int64_t now) {
    const nlohmann::json header = {{"alg", "RS256"}, {"typ", "JWT"}};
    const nlohmann::json claims = {{"iss", key.clientEmail},
                                   {"scope", kWebmastersScope},
                                   {"aud", kTokenEndpoint},
                                   {"iat", now},
                                   {"exp", now + kAssertionSeconds}};
    const std::string signedPart = Base64Url(header.dump()) + "." + Base64Url(claims.dump());
    const std::optional<std::string> signature = SignRs256(key.privateKey, signedPart);
    if (!signature) {
        return std::nullopt;
    }
    return signedPart + "." + Base64Url(*signature);
}

TokenAnswer ReadTokenAnswer(const StatusAnswer& answer, std::int64_t now) {
    TokenAnswer read{.status = answer.status};
    if (answer.status == 0) {
        read.problem = "the sign-in endpoint did not answer: " + Describe(answer.failure);
        return read;
    }
    const nlohmann::json json = nlohmann::json::parse(answer.body, nullptr, false);
    const auto text = [&](const char* name) {
        const auto found = json.is_object() ? json.find(name) : json.end();
        return found != json.end() && found->is_string() ? found->get<std::string>()
                                                         : std::string();
    };
    const auto expires = json.is_object() ? json.find("expires_in") : json.end();
    // Google's tokens last an hour; a lifetime of more than a day is taken for a day.
    const double lifetime =
        expires != json.end() && expires->is_number() ? expires->get<double>() : 0;
    if (answer.status == 200 && !text("access_token").empty() && lifetime >= 1) {
        read.token =
            AccessToken{.token = text("access_token"),
                        .expiresAt = now + static_cast<std::int64_t>(std::min(lifetime, 86400.0))};
        return read;
    }
    // Google's own words are bounded as every text of its answers is.
    const std::string why = !text("error_description").empty()
                                ? std::string(Utf8Prefix(text("error_description"), 512))
                            : !text("error").empty() ? std::string(Utf8Prefix(text("error"), 512))
                            : json.is_discarded()    ? "an answer that is not JSON"
                                                     : "an answer without a token";
    read.problem = "Google refused the sign-in (" + std::to_string(answer.status) + "): " + why;
    return read;
}

GoogleSignIn::GoogleSignIn(ServiceKey key, RunRouting routing)
    : key_(std::move(key)), fetcher_(std::move(routing)) {}

TokenAnswer GoogleSignIn::Token(std::int64_t now) {
    if (kept_ && kept_->expiresAt - kTokenMarginSeconds > now) {
        return {.token = kept_};
    }
    const std::optional<std::string> assertion = SignedAssertion(key_, now);
    if (!assertion) {
        return {.problem = "the service account's key cannot sign"};
    }
    TokenAnswer answer = ReadTokenAnswer(
        fetcher_.Send({.method = ApiRequest::Method::Post,
                       .url = std::string(kTokenEndpoint),
                       .body = "grant_type=urn%3Aietf%3Aparams%3Aoauth%3Agrant-type%3Ajwt-bearer"
                               "&assertion=" +
                               ComponentEncoded(*assertion),
                       .contentType = "application/x-www-form-urlencoded"}),
        now);
    kept_ = answer.token;
    return answer;
}

}  // namespace quaymark
