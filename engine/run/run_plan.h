#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "storage/history_records.h"

namespace quaymark {

// What each channel is to send in one run, decided once before any channel is made: by the run
// itself for Submit All and Submit, by Announce Changes for its own runs (the announcer's too).
// A resend has none: each of its requests names the channel that sent it.
struct RunPlan {
    // The pages each modern channel hears of, by its name, in sending order; the classic pages
    // hear of every address of the run.
    std::map<std::string, std::vector<std::string>, std::less<>> pages{};
    // What the history knows of the pages: their last announcement and change.
    std::unordered_map<std::string, PageDates> dates{};
};

}  // namespace quaymark
