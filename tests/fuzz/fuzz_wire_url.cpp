// The on-the-wire form of a request URL: nothing a request line cannot hold, no bare number
// sign, and it decodes back to the user's whole text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/net/http_text.h"

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    return c - 'A' + 10;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view url(reinterpret_cast<const char*>(data), size);
    const std::string wire = quaymark::WireUrl(url);
    for (const char c : wire) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || c == '#') {
            std::abort();
        }
    }
    // Undo only the encodings WireUrl makes; the user's own "%xx" stay as typed.
    const std::string_view kept = url;
    std::string decoded;
    std::size_t at = 0;
    for (const char c : kept) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || c == '#') {
            if (at + 3 > wire.size()) {
                std::abort();
            }
            if (wire[at] != '%' || HexValue(wire[at + 1]) * 16 + HexValue(wire[at + 2]) != byte) {
                std::abort();
            }
            at += 3;
        } else {
            if (at >= wire.size() || wire[at] != c) {
                std::abort();
            }
            ++at;
        }
        decoded += c;
    }
    if (at != wire.size() || decoded != kept) {
        std::abort();
    }
    return 0;
}
