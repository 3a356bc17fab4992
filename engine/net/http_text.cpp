#include "engine/net/http_text.h"

#include <algorithm>
#include <cctype>

#include "base/text_lines.h"

namespace quaymark {

namespace {

void AppendEncodedByte(std::string& out, unsigned char byte) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += '%';
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

}  // namespace

void AppendPercentEncoded(std::string& out, std::string_view url, bool numberSign) {
    for (const char c : url) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || (numberSign && c == '#')) {
            AppendEncodedByte(out, byte);
        } else {
            out += c;
        }
    }
}

std::string ComponentEncoded(std::string_view text) {
    std::string encoded;
    for (const char c : text) {
        if (IsAsciiAlnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            encoded += c;
        } else {
            AppendEncodedByte(encoded, static_cast<unsigned char>(c));
        }
    }
    return encoded;
}

std::string PercentEncoded(std::string_view url, bool numberSign) {
    std::string encoded;
    encoded.reserve(url.size());
    AppendPercentEncoded(encoded, url, numberSign);
    return encoded;
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

std::string AsciiLowerCopy(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), AsciiLower);
    return lower;
}

bool IsAsciiAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char a, char b) { return AsciiLower(a) == AsciiLower(b); });
}

std::string_view Trimmed(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r\n";
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// A number sign would end what the engine receives, so it travels encoded with the rest.
std::string WireUrl(std::string_view url) {
    return PercentEncoded(url, true);
}

std::string ParsableUrl(std::string_view url) {
    return PercentEncoded(url, false);
}

std::vector<std::string> LoopbackRoutes(const std::map<std::string, std::uint16_t>& ports) {
    std::vector<std::string> routes;
    std::string catchAll;
    for (const auto& [hostPort, port] : ports) {
        std::string line = hostPort + ":127.0.0.1:" + std::to_string(port);
        if (hostPort == ":") {
            catchAll = std::move(line);
        } else {
            routes.push_back(std::move(line));
        }
    }
    if (!catchAll.empty()) {
        routes.push_back(std::move(catchAll));
    }
    return routes;
}

bool HasOwnScheme(std::string_view url) {
    const std::size_t end = url.find("://");
    if (end == std::string_view::npos || end == 0 ||
        !std::isalpha(static_cast<unsigned char>(url[0]))) {
        return false;
    }
    return std::all_of(url.begin(), url.begin() + static_cast<std::ptrdiff_t>(end), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
}

std::optional<std::string_view> HeaderValue(std::string_view line, std::string_view name) {
    constexpr std::string_view kBlanks = " \t\r\n";
    if (!StartsWithNoCase(line, name)) {
        return std::nullopt;
    }
    std::string_view rest = line.substr(name.size());
    const std::size_t colon = rest.find_first_not_of(" \t");
    if (colon == std::string_view::npos || rest[colon] != ':') {
        return std::nullopt;
    }
    rest.remove_prefix(colon + 1);
    // Blanks around the value, and stray carriage returns before the line end, are not part
    // of it.
    const std::size_t first = rest.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return std::string_view{};
    }
    return rest.substr(first, rest.find_last_not_of(kBlanks) - first + 1);
}

std::optional<std::string> FindLocation(std::string_view rawHeaders) {
    while (!rawHeaders.empty()) {
        if (const auto value = HeaderValue(NextLine(rawHeaders), "location")) {
            return std::string(*value);
        }
    }
    return std::nullopt;
}

bool LineSplitter::Feed(std::string_view bytes) {
    while (!bytes.empty()) {
        if (out_.size() >= maxPieces_) {
            return false;
        }
        const std::size_t room = kMaxPiece - consumed_;
        // Take a run up to the first CR or LF, bounded by what the piece can still consume.
        const std::string_view window = bytes.substr(0, room);
        const auto lineEnd = std::find_if(window.begin(), window.end(),
                                          [](char c) { return c == '\r' || c == '\n'; });
        const auto take = static_cast<std::size_t>(lineEnd - window.begin());
        piece_.append(bytes.data(), take);
        consumed_ += take;
        bytes.remove_prefix(take);
        if (consumed_ < kMaxPiece && !bytes.empty()) {
            const char c = bytes.front();
            bytes.remove_prefix(1);
            ++consumed_;
            if (c == '\n') {
                piece_ += c;
                EndPiece();
                continue;
            }
        }
        // A CR counts towards the piece without being kept, so it can fill a piece too.
        if (consumed_ == kMaxPiece) {
            EndPiece();
        }
    }
    return out_.size() < maxPieces_;
}

void LineSplitter::Finish() {
    if (!piece_.empty()) {
        EndPiece();
    }
}

void LineSplitter::EndPiece() {
    out_.push_back(std::move(piece_));
    piece_.clear();
    consumed_ = 0;
}

}  // namespace quaymark
