#include "storage/secret_store.h"

#include <cerrno>
#include <system_error>

#include "storage/atomic_file.h"
#include "storage/program_paths.h"

namespace quaymark {
namespace {

// A credential file bigger than this is none (a service account's key is about 2 KiB).
constexpr std::size_t kMaxSecret = 64 * 1024;

class Files final : public SecretStore {
public:
    std::string Where() const override {
        return "0600 files in " + SecretFilePath("google").parent_path().string();
    }
    bool InKeyring() const override { return false; }

    SecretReading Read(std::string_view name) override {
        std::string content;
        const FileResult read = ReadRegularFile(SecretFilePath(name), content);
        if (read.Missing()) {
            return {};
        }
        if (!read) {
            return {.kind = SecretReading::Kind::Failed,
                    .detail = SecretFilePath(name).string() + ": " + read.Reason()};
        }
        if (content.size() > kMaxSecret) {
            return {.kind = SecretReading::Kind::Failed,
                    .detail = SecretFilePath(name).string() + " is larger than a credential"};
        }
        return {.kind = SecretReading::Kind::Found, .secret = std::move(content)};
    }

    SecretKept Keep(std::string_view name, const std::string& secret) override {
        const std::filesystem::path file = SecretFilePath(name);
        const FileResult written = WriteSecretAtomically(file, secret);
        return written ? SecretKept{} : SecretKept{false, file.string() + ": " + written.Reason()};
    }

    SecretKept Remove(std::string_view name) override {
        const std::filesystem::path file = SecretFilePath(name);
        std::error_code error;
        if (!std::filesystem::remove(file, error) && error) {
            return {false, file.string() + ": " + error.message()};
        }
        return {};
    }
};

class Moving final : public SecretStore {
public:
    Moving(std::unique_ptr<SecretStore> keyring, std::unique_ptr<SecretStore> files)
        : keyring_(std::move(keyring)), files_(std::move(files)) {}

    std::string Where() const override { return keyring_->Where(); }
    bool InKeyring() const override { return true; }

    // A file of before is moved on its first reading; while the keyring is locked or will not
    // take it, the file serves as it did.
    SecretReading Read(std::string_view name) override {
        SecretReading kept = keyring_->Read(name);
        if (kept.kind == SecretReading::Kind::Found || kept.kind == SecretReading::Kind::Failed) {
            return kept;
        }
        SecretReading file = files_->Read(name);
        if (!file.found()) {
            return kept.kind == SecretReading::Kind::Locked ? kept : file;
        }
        if (kept.kind == SecretReading::Kind::Absent && keyring_->Keep(name, file.secret).ok &&
            keyring_->Read(name).secret == file.secret) {
            files_->Remove(name);
        }
        return file;
    }

    // Kept in the keyring, and no copy left in a file.
    SecretKept Keep(std::string_view name, const std::string& secret) override {
        SecretKept kept = keyring_->Keep(name, secret);
        if (kept.ok) {
            files_->Remove(name);
        }
        return kept;
    }

    SecretKept Remove(std::string_view name) override {
        SecretKept removed = keyring_->Remove(name);
        const SecretKept file = files_->Remove(name);
        return removed.ok ? file : removed;
    }

private:
    std::unique_ptr<SecretStore> keyring_;
    std::unique_ptr<SecretStore> files_;
};

}  // namespace

std::filesystem::path SecretFilePath(std::string_view name) {
    return name == "google" ? GoogleKeyPath() : CredentialPath(name);
}

std::unique_ptr<SecretStore> FileSecrets() {
    return std::make_unique<Files>();
}

std::unique_ptr<SecretStore> MovingSecrets(std::unique_ptr<SecretStore> keyring,
                                           std::unique_ptr<SecretStore> files) {
    return std::make_unique<Moving>(std::move(keyring), std::move(files));
}

std::unique_ptr<SecretStore> UserSecrets(Unlock unlock) {
    std::unique_ptr<SecretStore> keyring = KeyringSecrets(unlock);
    if (!keyring) {
        return FileSecrets();
    }
    return MovingSecrets(std::move(keyring), FileSecrets());
}

}  // namespace quaymark
