#include "cli/channel_words.h"

#include "cli/progress.h"

namespace quaymark::cli {

int Problem(const AnnouncerSeams& seams, const std::string& text, int status) {
    seams.err << kName << ": " << Printable(text) << '\n';
    return status;
}

// A channel's change in the command line's words; the status it ends with.
int Told(const ChannelChange& change, const AnnouncerSeams& seams) {
    using Kind = ChannelChange::Kind;
    const std::string file = change.file.string();
    switch (change.kind) {
        case Kind::Done:
            return kAllAnnounced;
        case Kind::SettingsUnreadable:
            return Problem(seams, "the settings " + file + " could not be read: " + change.detail,
                           kSetupOrUsage);
        case Kind::SettingsNotSaved:
            return Problem(seams, "the settings " + file + " could not be saved: " + change.detail,
                           kSetupOrUsage);
        case Kind::BadKey:
            return Problem(seams, "a key is 8 to 128 characters from a-z, A-Z, 0-9 and -",
                           kSetupOrUsage);
        case Kind::BadKeyLocation:
            return Problem(seams, "the key location must be an https address of a .txt file",
                           kSetupOrUsage);
        case Kind::KeyFileNotWritten:
            return Problem(seams,
                           "the key file " + file + " could not be written: " + change.detail,
                           kSetupOrUsage);
        case Kind::KeyNotTaken:
            return Problem(seams,
                           file + " was not taken: " + change.detail +
                               "; give the JSON key Google Cloud gave for the service account",
                           kSetupOrUsage);
        case Kind::NoKeyKept:
            return Problem(seams, "no service account's key is kept: give one with --key <file>",
                           kSetupOrUsage);
        case Kind::KeyNotKept:
            return Problem(seams, "the key could not be kept in " + change.detail, kSetupOrUsage);
        case Kind::UnknownChannel:
            return Problem(seams, "no channel is called " + change.detail, kSetupOrUsage);
        case Kind::BadCredential:
            return Problem(seams,
                           "the credential file holds no credential: one line of visible "
                           "characters, at most 4096",
                           kSetupOrUsage);
        case Kind::NoCredentialKept:
            return Problem(seams, "no credential is kept: give one with --credential-file <file>",
                           kSetupOrUsage);
        case Kind::CredentialNotKept:
            return Problem(seams, "the credential could not be kept in " + change.detail,
                           kSetupOrUsage);
        case Kind::BadSite:
            return Problem(seams, change.detail + " is no http:// or https:// site", kSetupOrUsage);
        case Kind::BadHostPattern:
            return Problem(
                seams,
                change.detail + " is no host nor host pattern (letters, digits, - . : _ and *)",
                kSetupOrUsage);
    }
    return kSetupOrUsage;
}

void TellKeptInFile(const ChannelChange& change, const AnnouncerSeams& seams) {
    if (!change.keptInFile.empty()) {
        seams.out << "No desktop keyring (Secret Service) is running: it is kept in "
                  << Printable(change.keptInFile) << ", readable by you alone.\n";
    }
}

}  // namespace quaymark::cli
