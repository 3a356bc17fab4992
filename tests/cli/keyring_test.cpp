#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "cli/command_line.h"
#include "storage/program_paths.h"
#include "storage/secret_store.h"
#include "tests/support/announce_site.h"
#include "tests/support/fake_google.h"
#include "tests/support/temp_dir.h"

namespace quaymark::cli {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// A Secret Service of the test's own: a private session bus with gnome-keyring on it, its
// login keyring made with a password and unlocked. Why not, when either cannot start here.
class PrivateKeyring {
public:
    explicit PrivateKeyring(const std::filesystem::path& home) {
        const std::filesystem::path run = home / "run";
        std::filesystem::create_directories(run);
        std::filesystem::permissions(run, std::filesystem::perms::owner_all);
        ::setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
        ::setenv("HOME", home.c_str(), 1);
        const std::filesystem::path busFile = home / "bus";
        if (std::system(("dbus-daemon --session --fork --print-address=1 --print-pid=1 > " +
                         busFile.string() + " 2>/dev/null")
                            .c_str()) != 0) {
            whyNot = "no dbus-daemon could start here";
            return;
        }
        std::ifstream bus(busFile);
        std::getline(bus, address);
        bus >> busPid_;
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
        // --daemonize returns once the daemon is on the bus; the password makes and unlocks
        // the login keyring.
        if (std::system("printf test-password | gnome-keyring-daemon --unlock --daemonize "
                        "--components=secrets > /dev/null 2>&1") != 0 ||
            !KeyringSecrets(Unlock::Never)) {
            whyNot = "no gnome-keyring could start on a private session bus here";
        }
    }
    ~PrivateKeyring() {
        // gnome-keyring ends with its bus.
        if (busPid_ > 0) {
            ::kill(busPid_, SIGTERM);
        }
    }
    PrivateKeyring(const PrivateKeyring&) = delete;
    PrivateKeyring& operator=(const PrivateKeyring&) = delete;

    bool LockLogin() const {
        return std::system(
                   "dbus-send --session --print-reply --dest=org.freedesktop.secrets "
                   "/org/freedesktop/secrets org.freedesktop.Secret.Service.Lock "
                   "array:objpath:/org/freedesktop/secrets/collection/login "
                   "> /dev/null 2>&1") == 0;
    }

    std::string whyNot{};
    std::string address{};

private:
    pid_t busPid_ = 0;
};

// Every file under the folder, as bytes.
std::string EveryFile(const std::filesystem::path& folder) {
    std::string bytes;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            bytes += testing::ReadFileBytes(entry.path());
        }
    }
    return bytes;
}

// A desktop user upgrades: the credentials of before are moved into the keyring and their files
// removed; a new one goes to the keyring alone; no file anywhere holds one, the keyring's own
// encrypted; and the daily run with the keyring locked ends as a setup error, told.
TEST(Keyring, CredentialsMoveIntoTheKeyringAndALockedOneStopsTheDailyRun) {
    testing::TempDir home;
    for (const char* variable : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
        ::setenv(variable, (home.path() / variable).c_str(), 1);
    }
    const char* savedHome = std::getenv("HOME");
    const std::string userHome = savedHome != nullptr ? savedHome : "";
    const char* savedBus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const std::string noBus = savedBus != nullptr ? savedBus : "";
    struct Restore {
        std::string home, bus;
        ~Restore() {
            ::setenv("HOME", home.c_str(), 1);
            ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
        }
    } restore{userHome, noBus};
    PrivateKeyring keyring(home.path());
    if (!keyring.whyNot.empty()) {
        GTEST_SKIP() << keyring.whyNot;
    }

    const std::string oldKey = "0123456789abcdef-old-bing-key";
    const testing::FakeGoogle google;
    testing::AnnounceSite site;
    site.Serve("/sitemap.xml", testing::Urlset({"http://www.example.test/a"}));
    std::filesystem::create_directories(GoogleKeyPath().parent_path());
    testing::WriteFileBytes(CredentialPath("bing"), oldKey);
    testing::WriteFileBytes(GoogleKeyPath(), google.KeyFile());
    std::ostringstream out;
    std::ostringstream err;
    const auto run = [&](std::vector<std::string> arguments) {
        out.str({});
        err.str({});
        return RunCommandLine(arguments, {.routing = site.Routing(), .out = out, .err = err});
    };
    ASSERT_EQ(run({"site", "add", "-q", "http://www.example.test/"}), kAllAnnounced) << err.str();
    ASSERT_EQ(run({"bing", "on"}), kAllAnnounced) << err.str();
    ASSERT_EQ(run({"google", "on"}), kAllAnnounced) << err.str();
    EXPECT_FALSE(std::filesystem::exists(CredentialPath("bing")));
    EXPECT_FALSE(std::filesystem::exists(GoogleKeyPath()));
    EXPECT_EQ(KeyringSecrets(Unlock::Never)->Read("bing").secret, oldKey);
    EXPECT_EQ(KeyringSecrets(Unlock::Never)->Read("google").secret, google.KeyFile());

    const std::string newKey = "fedcba9876543210-new-bing-key";
    const std::filesystem::path given = home.path() / "given";
    testing::WriteFileBytes(given, newKey);
    ASSERT_EQ(run({"bing", "on", "--credential-file", given.string()}), kAllAnnounced) << err.str();
    std::filesystem::remove(given);
    EXPECT_THAT(out.str(), Not(HasSubstr("No desktop keyring")));
    EXPECT_FALSE(std::filesystem::exists(CredentialPath("bing")));
    EXPECT_EQ(KeyringSecrets(Unlock::Never)->Read("bing").secret, newKey);

    ASSERT_TRUE(keyring.LockLogin());
    EXPECT_EQ(KeyringSecrets(Unlock::Never)->Read("bing").kind, SecretReading::Kind::Locked);
    const std::filesystem::path said = home.path() / "announcer.err";
    const int status =
        std::system((std::string(QUAYMARK_ANNOUNCER) + " 2> " + said.string()).c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), kSetupOrUsage);
    EXPECT_THAT(testing::ReadFileBytes(said), HasSubstr("the desktop's keyring is locked"));

    const std::string written = EveryFile(home.path());
    for (const std::string& secret : {oldKey, newKey, std::string("BEGIN PRIVATE KEY")}) {
        EXPECT_THAT(written, Not(HasSubstr(secret))) << secret;
    }
}

}  // namespace
}  // namespace quaymark::cli
