#pragma once

#include <string>
#include <vector>

#include "cli/announcer.h"

namespace quaymark::cli {

// quaymark-cli: what the window does, from a terminal or a script on a machine with no
// display: sites set up from their sitemaps, listed and forgotten; IndexNow turned on with its
// key and the key checked on each site; Google Search Console turned on with the service
// account's key; and announcing, as quaymark-announce does. Exit statuses as the announcer's.
int RunCommandLine(const std::vector<std::string>& arguments, const AnnouncerSeams& seams);

}  // namespace quaymark::cli
