#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace quaymark {

// What a credential's reading found.
struct SecretReading {
    enum class Kind {
        Found,
        Absent,
        Locked,  // the keyring is locked and was not to be unlocked
        Failed,  // detail
    };
    Kind kind = Kind::Absent;
    std::string secret{};
    std::string detail{};

    bool found() const { return kind == Kind::Found; }
};

// How keeping or removing one went; detail says why it did not.
struct SecretKept {
    bool ok = true;
    std::string detail{};
};

// Where the credentials are kept, each under its name ("google", or an engine's settings
// section): the desktop's keyring through the Secret Service, or files of the user's alone.
class SecretStore {
public:
    virtual ~SecretStore() = default;
    // In the user's words: "the desktop's keyring", "0600 files in /home/u/.config/quaymark".
    virtual std::string Where() const = 0;
    virtual bool InKeyring() const = 0;
    virtual SecretReading Read(std::string_view name) = 0;
    virtual SecretKept Keep(std::string_view name, const std::string& secret) = 0;
    virtual SecretKept Remove(std::string_view name) = 0;
};

// The files of today: quaymark/google-service-account.json and quaymark/<section>.credential
// under the user's configuration directory, 0600.
std::filesystem::path SecretFilePath(std::string_view name);
std::unique_ptr<SecretStore> FileSecrets();

// Whether the store may ask the user to unlock a locked keyring: a window or a command typed
// may, the daily timer's run may not (it is told as locked).
enum class Unlock { MayAsk, Never };

// The desktop's keyring when a Secret Service answers on the session bus, else none.
std::unique_ptr<SecretStore> KeyringSecrets(Unlock unlock);

// The user's credentials: in the keyring where one runs, each file of before moved into it on
// its first reading (and removed once the keyring holds it); in the files where none runs.
std::unique_ptr<SecretStore> UserSecrets(Unlock unlock);

// The user's credentials kept in front of a store: files moved into a keyring as they are read.
std::unique_ptr<SecretStore> MovingSecrets(std::unique_ptr<SecretStore> keyring,
                                           std::unique_ptr<SecretStore> files);

}  // namespace quaymark
