// Page judging against a plain reference: upper-case every line, try the markers in order
// with a plain search.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/classic/classify.h"

namespace {

quaymark::SubmitVerdict Reference(const quaymark::PageLines& lines) {
    using quaymark::SubmitVerdict;
    if (lines.empty()) {
        return SubmitVerdict::NoAnswer;
    }
    for (const std::string& line : lines) {
        std::string upper = line;
        for (char& c : upper) {
            if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 32);
            }
        }
        for (const auto& [marker, verdict] : quaymark::kMarkers) {
            if (upper.find(marker) != std::string::npos) {
                return verdict;
            }
        }
    }
    return SubmitVerdict::Accepted;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    quaymark::PageLines lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::size_t stop = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, stop - start));
        start = stop;
    }
    const quaymark::PageLines before = lines;
    const quaymark::SubmitVerdict expected = Reference(lines);
    if (quaymark::ClassifyPage(lines) != expected) {
        std::abort();
    }
    if (expected != quaymark::SubmitVerdict::NoAnswer && lines != before) {
        std::abort();
    }
    return 0;
}
