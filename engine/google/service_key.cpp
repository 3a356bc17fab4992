#include "engine/google/service_key.h"

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>

namespace quaymark {
namespace {

// Whether OpenSSL reads the PEM text as an RSA private key.
bool IsRsaPrivateKey(const std::string& pem) {
    const std::unique_ptr<BIO, decltype(&BIO_free)> bio(
        BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), &BIO_free);
    if (!bio) {
        return false;
    }
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr), &EVP_PKEY_free);
    return key && EVP_PKEY_base_id(key.get()) == EVP_PKEY_RSA;
}

std::string Text(const nlohmann::json& object, const char* name) {
    const auto found = object.find(name);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

}  // namespace

KeyReading ReadServiceKey(std::string_view text) {
    if (text.size() > kMaxKeyFileBytes) {
        return {.problem = KeyProblem::TooLarge};
    }
    const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        return {.problem = KeyProblem::NotJson};
    }
    if (Text(json, "type") != "service_account") {
        return {.problem = KeyProblem::NotServiceAccount};
    }
    ServiceKey key{.clientEmail = Text(json, "client_email"),
                   .privateKey = Text(json, "private_key")};
    if (key.clientEmail.empty()) {
        return {.problem = KeyProblem::NoClientEmail};
    }
    if (key.privateKey.empty()) {
        return {.problem = KeyProblem::NoPrivateKey};
    }
    if (!IsRsaPrivateKey(key.privateKey)) {
        return {.problem = KeyProblem::BadPrivateKey};
    }
    return {.key = std::move(key), .file = std::string(text)};
}

KeyReading LoadServiceKey(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::string text(kMaxKeyFileBytes + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (file.bad() || !file.is_open()) {
        return {.problem = KeyProblem::Unreadable};
    }
    text.resize(static_cast<std::size_t>(file.gcount()));
    return ReadServiceKey(text);
}

std::string Describe(KeyProblem problem) {
    switch (problem) {
        case KeyProblem::None:
            return {};
        case KeyProblem::Unreadable:
            return "the key file cannot be read";
        case KeyProblem::TooLarge:
            return "the file is larger than a key file can be (64 KiB)";
        case KeyProblem::NotJson:
            return "the file is not a JSON object";
        case KeyProblem::NotServiceAccount:
            return "the file is not a service account's key (its \"type\" is not "
                   "\"service_account\")";
        case KeyProblem::NoClientEmail:
            return "the key names no service account (no \"client_email\")";
        case KeyProblem::NoPrivateKey:
            return "the key holds no private key (no \"private_key\")";
        case KeyProblem::BadPrivateKey:
            return "the key's private key is not an RSA key that can be read";
    }
    return {};
}

}  // namespace quaymark
