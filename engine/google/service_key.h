#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quaymark {

// A key file bigger than this is no service-account key.
inline constexpr std::size_t kMaxKeyFileBytes = 64 * 1024;

// What signs in to Google for the site owner: the service account's e-mail address and its
// RSA private key (PEM).
struct ServiceKey {
    std::string clientEmail;
    std::string privateKey;
};

// Why a file is not taken as a service-account key.
enum class KeyProblem {
    None,
    Unreadable,
    TooLarge,
    NotJson,
    NotServiceAccount,
    NoClientEmail,
    NoPrivateKey,
    BadPrivateKey
};

struct KeyReading {
    std::optional<ServiceKey> key{};
    KeyProblem problem = KeyProblem::None;
    // The file as it was read, to be kept as it is when it is a key.
    std::string file{};
};

// Reads a key file as Google Cloud gives it: JSON of "type": "service_account" with
// "client_email" and "private_key", the key an RSA key that OpenSSL can read.
KeyReading ReadServiceKey(std::string_view text);

// Reads the key file at the path, no more of it than a key can be.
KeyReading LoadServiceKey(const std::filesystem::path& path);

// The reason in words, for the window and the announcer; never the key itself.
std::string Describe(KeyProblem problem);

}  // namespace quaymark
