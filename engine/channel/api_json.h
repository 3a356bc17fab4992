#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace quaymark {

// Reading the engines' JSON answers, whatever they hold: a body that is no JSON is discarded,
// a count is a non-negative int or none, a text is bounded.
inline nlohmann::json JsonOf(std::string_view body) {
    return nlohmann::json::parse(body, nullptr, false);
}

inline std::optional<int> CountIn(const nlohmann::json& object, const char* name) {
    if (!object.is_object()) {
        return std::nullopt;
    }
    const auto found = object.find(name);
    if (found == object.end() || !found->is_number_integer()) {
        return std::nullopt;
    }
    return static_cast<int>(
        std::clamp<std::int64_t>(found->get<std::int64_t>(), 0, std::numeric_limits<int>::max()));
}

inline std::string TextIn(const nlohmann::json& object, const char* name) {
    if (!object.is_object()) {
        return {};
    }
    const auto found = object.find(name);
    return found != object.end() && found->is_string() ? found->get<std::string>().substr(0, 300)
                                                       : std::string();
}

}  // namespace quaymark
