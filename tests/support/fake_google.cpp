#include "tests/support/fake_google.h"

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <algorithm>
#include <memory>
#include <nlohmann/json.hpp>

namespace quaymark::testing {
namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

std::string NewKeyPem() {
    const Key key(EVP_RSA_gen(2048), &EVP_PKEY_free);
    const std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
    PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return {data, static_cast<std::size_t>(length)};
}

std::string FromBase64Url(std::string text) {
    for (char& c : text) {
        c = c == '-' ? '+' : c == '_' ? '/' : c;
    }
    const std::size_t padding = (4 - text.size() % 4) % 4;
    text.append(padding, '=');
    std::string bytes(text.size(), '\0');
    const int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                                       reinterpret_cast<const unsigned char*>(text.data()),
                                       static_cast<int>(text.size()));
    bytes.resize(static_cast<std::size_t>(std::max(0, length)) - padding);
    return bytes;
}

// Whether the assertion is a JSON Web Token of the webmasters scope for the token endpoint,
// signed RS256 with the key.
bool Verified(const std::string& assertion, const std::string& pem) {
    const std::size_t first = assertion.find('.');
    const std::size_t second = assertion.find('.', first + 1);
    if (second == std::string::npos) {
        return false;
    }
    const nlohmann::json header =
        nlohmann::json::parse(FromBase64Url(assertion.substr(0, first)), nullptr, false);
    const nlohmann::json claims = nlohmann::json::parse(
        FromBase64Url(assertion.substr(first + 1, second - first - 1)), nullptr, false);
    if (!header.is_object() || header.value("alg", "") != "RS256" || !claims.is_object() ||
        claims.value("iss", "") != FakeGoogle::kAccount ||
        claims.value("scope", "") != "https://www.googleapis.com/auth/webmasters" ||
        claims.value("aud", "") != "https://oauth2.googleapis.com/token") {
        return false;
    }
    const std::string signature = FromBase64Url(assertion.substr(second + 1));
    const std::unique_ptr<BIO, decltype(&BIO_free)> bio(
        BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), &BIO_free);
    const Key key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr), &EVP_PKEY_free);
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                          &EVP_MD_CTX_free);
    const std::string signedPart = assertion.substr(0, second);
    return EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
           EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                            signature.size(),
                            reinterpret_cast<const unsigned char*>(signedPart.data()),
                            signedPart.size()) == 1;
}

}  // namespace

FakeGoogle::FakeGoogle() : pem_(NewKeyPem()) {
    server_->Post("/token", [this](const httplib::Request& request, httplib::Response& response) {
        if (const std::lock_guard lock(mutex_); tokenAnswer_) {
            response.status = tokenAnswer_->status;
            response.set_content(tokenAnswer_->body, "application/json");
            return;
        }
        if (!Verified(request.get_param_value("assertion"), pem_)) {
            response.status = 400;
            response.set_content(R"({"error":"invalid_grant","error_description":"Invalid JWT"})",
                                 "application/json");
            return;
        }
        const std::lock_guard lock(mutex_);
        response.set_content("{\"access_token\":\"token-" + std::to_string(++tokens_) +
                                 "\",\"expires_in\":3599,\"token_type\":\"Bearer\"}",
                             "application/json");
    });
    server_->Get("/webmasters/v3/sites",
                 [this](const httplib::Request& request, httplib::Response& response) {
                     if (Authorised(request, response)) {
                         const std::lock_guard lock(mutex_);
                         response.set_content(properties_, "application/json");
                     }
                 });
    server_->Put(R"(/webmasters/v3/sites/.*)",
                 [this](const httplib::Request& request, httplib::Response& response) {
                     if (Authorised(request, response)) {
                         const std::lock_guard lock(mutex_);
                         submitted_.push_back(request.target);
                         response.status = 204;
                     }
                 });
    server_->Post("/v1/urlInspection/index:inspect", [this](const httplib::Request& request,
                                                            httplib::Response& response) {
        if (!Authorised(request, response)) {
            return;
        }
        const nlohmann::json body = nlohmann::json::parse(request.body);
        const std::string page = body.at("inspectionUrl");
        const std::lock_guard lock(mutex_);
        inspected_.push_back(page);
        std::deque<Answer>& answers = answers_[page];
        const Answer answer = answers.empty()
                                  ? Answer{.body = InspectionBody("PASS", "Submitted and indexed")}
                                  : answers.front();
        if (!answers.empty()) {
            answers.pop_front();
        }
        response.status = answer.status;
        if (!answer.retryAfter.empty()) {
            response.set_header("Retry-After", answer.retryAfter);
        }
        response.set_content(answer.body, "application/json");
    });
}

FakeGoogle::~FakeGoogle() = default;

bool FakeGoogle::Authorised(const httplib::Request& request, httplib::Response& response) {
    const std::string bearer = request.get_header_value("Authorization");
    const std::lock_guard lock(mutex_);
    const std::string prefix = "Bearer token-";
    if (bearer.rfind(prefix, 0) == 0 && std::stoi(bearer.substr(prefix.size())) > revokedBelow_ &&
        std::stoi(bearer.substr(prefix.size())) <= tokens_) {
        return true;
    }
    response.status = 401;
    response.set_content(R"({"error":{"code":401,"message":"Invalid Credentials"}})",
                         "application/json");
    return false;
}

std::string FakeGoogle::KeyFile() const {
    return nlohmann::json{
        {"type", "service_account"}, {"project_id", "quaymark-test"},
        {"private_key_id", "0123"},  {"private_key", pem_},
        {"client_email", kAccount},  {"token_uri", "https://oauth2.googleapis.com/token"}}
        .dump(2);
}

ServiceKey FakeGoogle::Key() const {
    return {.clientEmail = kAccount, .privateKey = pem_};
}

RunRouting FakeGoogle::Routing() const {
    RunRouting routing{.connectTo = {}, .limits = {}, .caFile = TlsServer::CaFile()};
    for (const char* host :
         {"oauth2.googleapis.com", "www.googleapis.com", "searchconsole.googleapis.com"}) {
        routing.connectTo[std::string(host) + ":443"] = server_.port();
    }
    return routing;
}

void FakeGoogle::Properties(std::string json) {
    const std::lock_guard lock(mutex_);
    properties_ = std::move(json);
}

void FakeGoogle::Inspections(const std::string& page, std::vector<Answer> answers) {
    const std::lock_guard lock(mutex_);
    answers_[page] = {answers.begin(), answers.end()};
}

void FakeGoogle::RevokeTokens() {
    const std::lock_guard lock(mutex_);
    revokedBelow_ = tokens_;
}

void FakeGoogle::TokenAnswer(Answer answer) {
    const std::lock_guard lock(mutex_);
    tokenAnswer_ = std::move(answer);
}

int FakeGoogle::tokens() const {
    const std::lock_guard lock(mutex_);
    return tokens_;
}

std::vector<std::string> FakeGoogle::submitted() const {
    const std::lock_guard lock(mutex_);
    return submitted_;
}

std::vector<std::string> FakeGoogle::inspected() const {
    const std::lock_guard lock(mutex_);
    return inspected_;
}

std::string InspectionBody(const std::string& verdict, const std::string& coverage,
                           const std::string& lastCrawl) {
    return nlohmann::json{{"inspectionResult",
                           {{"indexStatusResult",
                             {{"verdict", verdict},
                              {"coverageState", coverage},
                              {"lastCrawlTime", lastCrawl},
                              {"googleCanonical", "https://www.example.test/a"}}}}}}
        .dump();
}

}  // namespace quaymark::testing
