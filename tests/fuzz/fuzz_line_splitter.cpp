// The body line splitter: any bytes, cut into any chunks, give the pieces that taking the
// body one byte at a time gives.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/net/http_text.h"

namespace {

// The rule one byte at a time: every byte counts towards the piece, a carriage return is not
// kept, a line feed or the full count ends the piece, and a last piece needs a kept byte.
quaymark::PageLines ByteByByte(std::string_view body) {
    quaymark::PageLines pieces;
    std::string piece;
    std::size_t consumed = 0;
    for (const char c : body) {
        ++consumed;
        if (c != '\r') {
            piece += c;
        }
        if (c == '\n' || consumed == quaymark::LineSplitter::kMaxPiece) {
            pieces.push_back(piece);
            piece.clear();
            consumed = 0;
        }
    }
    if (!piece.empty()) {
        pieces.push_back(piece);
    }
    return pieces;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte picks the chunk size, as the network would.
    const std::size_t chunk = 1 + data[0] % 64 * 67;
    const std::string_view body(reinterpret_cast<const char*>(data) + 1, size - 1);
    quaymark::PageLines lines;
    quaymark::LineSplitter splitter(lines);
    for (std::size_t at = 0; at < body.size(); at += chunk) {
        splitter.Feed(body.substr(at, chunk));
    }
    splitter.Finish();

    if (lines != ByteByByte(body)) {
        std::abort();
    }
    return 0;
}
