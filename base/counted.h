#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quaymark {

// A count with its noun: "1 address", "2 addresses".
inline std::string Counted(std::size_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

// "1 address", "2 addresses".
inline std::string CountOfAddresses(std::size_t count) {
    return Counted(count, "address", "addresses");
}

// Counts by reason in one phrase: "3 left out by the gate (2 special-use name, 1 ...)", each
// reason in its word; empty when every count is none.
template <typename Counts, typename Word>
std::string CountedReasons(const Counts& counts, Word word, std::string_view what) {
    std::size_t total = 0;
    std::string reasons;
    for (const auto& [reason, count] : counts) {
        total += count;
        reasons +=
            (reasons.empty() ? "" : ", ") + std::to_string(count) + " " + std::string(word(reason));
    }
    return total == 0 ? std::string()
                      : std::to_string(total) + " " + std::string(what) + " (" + reasons + ")";
}

}  // namespace quaymark
