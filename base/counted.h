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

}  // namespace quaymark
