#pragma once

#include <chrono>
#include <filesystem>
#include <string>

#include "app/channel_setup.h"
#include "app/list_additions.h"
#include "engine/run/announce_changes.h"

namespace quaymark {

// How an announcement from outside the window ended, as its exit status says.
enum ExitStatus : int {
    kAllAnnounced = 0,  // all announced, or nothing to announce
    kSomeRefused = 1,   // some announcements refused, or a sitemap could not be read
    kSetupOrUsage = 2,  // no key, no remembered sitemap, unreadable files, a wrong option
};

// Announce Changes with the user's own list, settings and history, as the announcer runs it.
struct AnnounceRequest {
    // One site, as an address on it; every site when empty.
    std::string site{};
    bool all = false;
    bool dryRun = false;
    // Recorded as one of the daily timer's runs.
    bool scheduled = false;
    RunRouting routing{};
    // How long to wait for an announcement already under way before giving up.
    std::chrono::milliseconds runLockWait = std::chrono::minutes(30);
};

// Why the announcement could not begin: the kind, with the file concerned and the reason,
// where there are.
struct AnnounceSetupFailure {
    enum class Kind {
        None,
        NoSitemap,           // no site has a remembered sitemap
        NoSuchSite,          // the site asked for has none
        NoChannel,           // no channel is on with its key
        HistoryUnreadable,   // why
        SettingsUnreadable,  // the file, and why
        StillUnderWay,       // another announcement held the run lock past the bound
        RunLockFailed,       // the lock file, and why
        KeyringLocked,       // the keyring holding a channel's credential is locked
    };
    Kind kind = Kind::None;
    std::filesystem::path file{};
    std::string detail{};

    explicit operator bool() const { return kind != Kind::None; }
};

// What the announcement tells its face as it goes; the face words it all.
class AnnounceFollower {
public:
    virtual ~AnnounceFollower() = default;
    // The history opened with a problem of its own (a damaged file set aside).
    virtual void HistoryNote(const std::string& note) = 0;
    // Google's key could not be taken: Google is left out, the other channels are not.
    virtual void GoogleLeftOut(const std::string& where, KeyProblem problem) = 0;
    // An engine's own channel whose credential could not be read: left out, the others not.
    virtual void ChannelLeftOut(const CredentialProblem& problem) = 0;
    // Another announcement is under way: this one waits for it, at most so long.
    virtual void Waiting(std::chrono::milliseconds bound) = 0;
    // What follows the run once it may begin.
    virtual RunObserver& Progress() = 0;
    // A setup failure in the face's words, which the history records too.
    virtual std::string Words(const AnnounceSetupFailure& failure) = 0;
};

struct Announcement {
    AnnounceSetupFailure setup{};
    AnnounceOutcome outcome{};
    ListChange list{};
    int exitStatus = kAllAnnounced;
    // Why the history could not be kept; empty when it was.
    std::string historyFailure{};
};

// One announcement at a time per user (the run lock, waited for), its run recorded in the
// history with how it ended, a setup failure too, so that the window can tell of a timer run
// that failed; a dry run takes no lock and records nothing.
Announcement Announce(const AnnounceRequest& request, AnnounceFollower& follower);

}  // namespace quaymark
