// The body line splitter: any bytes, cut into any chunks, give pieces that obey the rules
// and together hold every byte but the carriage returns.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/http_text.h"

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

    std::string joined;
    for (const std::string& piece : lines) {
        if (piece.empty() || piece.size() > quaymark::LineSplitter::kMaxPiece ||
            piece.find('\r') != std::string::npos) {
            std::abort();
        }
        const std::size_t lf = piece.find('\n');
        if (lf != std::string::npos && lf != piece.size() - 1) {
            std::abort();
        }
        if (lf == std::string::npos && piece.size() != quaymark::LineSplitter::kMaxPiece &&
            &piece != &lines.back()) {
            std::abort();
        }
        joined += piece;
    }
    std::string expected;
    for (const char c : body) {
        if (c != '\r') {
            expected += c;
        }
    }
    if (joined != expected) {
        std::abort();
    }
    return 0;
}
