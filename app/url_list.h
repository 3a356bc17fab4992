#pragma once

#include <cstddef>
#include <string>
#include <unordered_set>
#include <vector>

namespace quaymark {

// The user's list of addresses in its order, each as the bytes the list file holds: what the
// window shows, and what both faces add the pages it lacks to.
class UrlList {
public:
    UrlList() = default;
    explicit UrlList(std::vector<std::string> entries) : entries_(std::move(entries)) {}

    const std::vector<std::string>& entries() const { return entries_; }
    std::size_t size() const { return entries_.size(); }
    const std::string& at(std::size_t row) const { return entries_.at(row); }

    void Append(std::string entry) { entries_.push_back(std::move(entry)); }
    void RemoveAt(std::size_t row);
    // The pages it lacks, in their order and once each.
    std::vector<std::string> Lacking(const std::vector<std::string>& pages) const;
    // The rows holding one of these entries, last first, so that removing them in turn leaves
    // the rows still to remove where they were.
    std::vector<std::size_t> RowsOf(const std::unordered_set<std::string>& wanted) const;

private:
    std::vector<std::string> entries_;
};

}  // namespace quaymark
