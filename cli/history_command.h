#pragma once

#include <string>

#include "cli/announcer.h"

namespace quaymark::cli {

// How quaymark-cli history prints: for a person, as CSV (what the window's Export CSV
// writes) or as JSON.
enum class HistoryFormat { Person, Csv, Json };

// What the history holds of the list's pages whose address holds the filter, each site's
// sitemaps and the announcer's runs.
int ShowHistory(HistoryFormat format, const std::string& filter, const AnnouncerSeams& seams);

}  // namespace quaymark::cli
