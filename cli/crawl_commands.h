#pragma once

#include <string>

#include "cli/announcer.h"

namespace quaymark::cli {

// quaymark-cli logs: the access logs given to each site, and their reading.
int GiveLog(const std::string& site, const std::string& path, const AnnouncerSeams& seams);
int TakeLog(const std::string& site, const std::string& path, const AnnouncerSeams& seams);
int ListLogs(const AnnouncerSeams& seams);
// Reads the logs of the site (every site's when empty); 1 when one could not be read.
int ReadLogs(const std::string& site, bool quiet, const AnnouncerSeams& seams);

// quaymark-cli status: each site's row, and the named site's crawl figures and days; a page's
// timeline when one is named.
int ShowStatus(const std::string& site, const std::string& page, bool json,
               const AnnouncerSeams& seams);

}  // namespace quaymark::cli
