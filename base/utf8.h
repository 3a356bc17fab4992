#pragma once

#include <cstddef>
#include <string_view>

namespace quaymark {

// The longest start of the text of at most so many bytes that ends on a character boundary:
// a bounded text never ends in the middle of a UTF-8 character. Bytes that are not UTF-8
// are taken as they come.
inline std::string_view Utf8Prefix(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return text;
    }
    std::size_t end = maxBytes;
    // At most three continuation bytes belong to the character cut.
    for (int back = 0; back < 3 && end > 0; ++back) {
        if ((static_cast<unsigned char>(text[end]) & 0xC0) != 0x80) {
            break;
        }
        --end;
    }
    if ((static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        end = maxBytes;  // no character this long: not UTF-8 at all
    }
    return text.substr(0, end);
}

}  // namespace quaymark
