#pragma once

#include <string>

#include "app/channel_setup.h"
#include "cli/announcer.h"

namespace quaymark::cli {

inline constexpr const char* kName = "quaymark-cli";

// Tells a problem on standard error under the program's name; returns the status.
int Problem(const AnnouncerSeams& seams, const std::string& text, int status);

// A channel's change in the command line's words; the status it ends with.
int Told(const ChannelChange& change, const AnnouncerSeams& seams);

// Where a credential given went when no keyring runs: told as it is kept.
void TellKeptInFile(const ChannelChange& change, const AnnouncerSeams& seams);

}  // namespace quaymark::cli
