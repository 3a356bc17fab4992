#include "app/url_list.h"

#include <string_view>

namespace quaymark {

void UrlList::RemoveAt(std::size_t row) {
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(row));
}

std::vector<std::string> UrlList::Lacking(const std::vector<std::string>& pages) const {
    // Views into the list and the pages, which stay where they are meanwhile.
    std::unordered_set<std::string_view> known(entries_.begin(), entries_.end());
    std::vector<std::string> lacks;
    for (const std::string& page : pages) {
        if (known.insert(page).second) {
            lacks.push_back(page);
        }
    }
    return lacks;
}

std::vector<std::size_t> UrlList::RowsOf(const std::unordered_set<std::string>& wanted) const {
    std::vector<std::size_t> rows;
    for (std::size_t row = entries_.size(); row-- > 0;) {
        if (wanted.count(entries_[row]) > 0) {
            rows.push_back(row);
        }
    }
    return rows;
}

}  // namespace quaymark
