#pragma once

#include <cstddef>
#include <string_view>

namespace quaymark {

// Takes the next line off the front of the text: up to its LF, without the LF and without a
// CR right before it. The last line needs no line end.
inline std::string_view NextLine(std::string_view& text) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (end != std::string_view::npos && !line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

}  // namespace quaymark
