#include "engine/indexnow/indexnow.h"

#include <sys/random.h>

#include <array>
#include <cerrno>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>

#include "engine/net/http_text.h"
#include "engine/net/web_address.h"

namespace quaymark {

std::string NewIndexNowKey() {
    std::array<unsigned char, 16> bytes{};
    // getrandom blocks only until the system's pool is first ready; where it cannot serve,
    // the library's own random device does.
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t read = ::getrandom(bytes.data() + got, bytes.size() - got, 0);
        if (read < 0 && errno != EINTR) {
            break;
        }
        got += read > 0 ? static_cast<std::size_t>(read) : 0;
    }
    std::random_device device;
    for (; got < bytes.size(); ++got) {
        bytes[got] = static_cast<unsigned char>(device());
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string key;
    for (const unsigned char byte : bytes) {
        key += kHex[byte >> 4];
        key += kHex[byte & 0xF];
    }
    return key;
}

bool IsHttpsAddress(std::string_view address) {
    return StartsWithNoCase(address, "https://") && HostOf(address).has_value();
}

bool IsKeyLocation(std::string_view address) {
    return IsHttpsAddress(address) && address.size() > 4 &&
           address.substr(address.size() - 4) == ".txt";
}

std::vector<IndexNowBatch> MakeBatches(const std::vector<std::string>& addresses,
                                       std::size_t maxAddresses) {
    std::vector<IndexNowBatch> batches;
    // The batch of each host that still has room.
    std::map<std::string, std::size_t, std::less<>> open;
    for (const std::string& address : addresses) {
        std::optional<std::string> host = HostOf(address);
        if (!host) {
            continue;
        }
        auto found = open.find(*host);
        if (found == open.end() || batches[found->second].urls.size() >= maxAddresses) {
            batches.push_back({.host = *host, .urls = {}});
            found = open.insert_or_assign(std::move(*host), batches.size() - 1).first;
        }
        batches[found->second].urls.push_back(address);
    }
    return batches;
}

std::string BatchBody(const IndexNowSettings& settings, const IndexNowBatch& batch) {
    // What cannot stand in an address travels percent-encoded, so the body is ASCII.
    const auto text = [](std::string_view address) { return PercentEncoded(address, false); };
    nlohmann::json urls = nlohmann::json::array();
    for (const std::string& url : batch.urls) {
        urls.push_back(text(url));
    }
    nlohmann::json body = {
        {"host", text(batch.host)}, {"key", text(settings.key)}, {"urlList", std::move(urls)}};
    // A key location serves only the host it is on.
    if (!settings.keyLocation.empty() && HostOf(settings.keyLocation) == batch.host) {
        body["keyLocation"] = text(settings.keyLocation);
    }
    return body.dump();
}

std::string BatchLabel(std::string_view host, std::size_t count) {
    return std::string(host) + " (" + CountOfAddresses(count) + ")";
}

std::vector<std::string> PassedOverNotes(const PassedOver& passedOver) {
    std::vector<std::string> notes;
    if (passedOver.unchanged > 0) {
        notes.push_back("IndexNow: " + CountOfAddresses(passedOver.unchanged) +
                        " left out, announced before and not changed since.");
    }
    if (passedOver.recent > 0) {
        notes.push_back("IndexNow: " + CountOfAddresses(passedOver.recent) +
                        " left out, announced in the last 10 minutes.");
    }
    return notes;
}

std::vector<std::string> NewOrChanged(const std::vector<std::string>& addresses,
                                      const std::unordered_map<std::string, PageDates>& dates,
                                      std::int64_t now, PassedOver& passedOver) {
    std::vector<std::string> chosen;
    for (const std::string& address : addresses) {
        const auto known = dates.find(address);
        if (known == dates.end() || !known->second.lastAnnounced) {
            chosen.push_back(address);
            continue;
        }
        const PageDates& page = known->second;
        if (now - *page.lastAnnounced < kReannounceAfterSeconds) {
            ++passedOver.recent;
        } else if ((page.textChanged && *page.textChanged > *page.lastAnnounced) ||
                   (page.lastmodTrusted && page.lastmod && *page.lastmod > *page.lastAnnounced)) {
            chosen.push_back(address);
        } else {
            ++passedOver.unchanged;
        }
    }
    return chosen;
}

}  // namespace quaymark
