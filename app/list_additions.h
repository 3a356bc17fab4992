#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace quaymark {

// What became of the list: pages added, or why none could be.
struct ListChange {
    std::size_t added = 0;
    // Pages the list lacks that it could not take: the window holds it, or it is unreadable.
    std::size_t notAdded = 0;
    std::string why{};
};

// The pages the list lacks go at its end, as an import adds them, in their order and once
// each; only with the list's lock, which the window holds while it runs. A dry run counts
// them and writes nothing.
ListChange AddToList(const std::vector<std::string>& pages, bool dryRun);

}  // namespace quaymark
