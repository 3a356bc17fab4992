#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/counted.h"
#include "storage/history_records.h"
#include "storage/indexnow_settings.h"

namespace quaymark {

// IndexNow: an endpoint passes announced addresses on to the engines that take announcements
// today. The site proves it owns the key by serving <key>.txt at its root, or at the key
// location the announcement names.
inline constexpr std::string_view kIndexNowName = "IndexNow";
// The protocol's limit of addresses in one announcement.
inline constexpr std::size_t kMaxBatchAddresses = 10000;

// What a run needs to announce through IndexNow: the user's settings, and what the history
// knows of each page when only new or changed pages are announced.
struct IndexNowJob {
    IndexNowSettings settings;
    // The pages the run's plan gives it, heard instead of the run's addresses.
    std::optional<std::vector<std::string>> pages{};

    // On, and with a key an endpoint can take.
    bool announces() const { return settings.enabled && IsValidIndexNowKey(settings.key); }
};

// A new key: sixteen bytes from the system's random source, as 32 lowercase hexadecimal
// characters.
std::string NewIndexNowKey();

// An address accepted so recently is never announced again, changed or not.
inline constexpr std::int64_t kReannounceAfterSeconds = 10 * 60;

// How many addresses the new-or-changed rule passed over, and why.
struct PassedOver {
    std::size_t unchanged = 0;
    std::size_t recent = 0;
};

// The notes that tell what the rule passed over, in the run's words.
std::vector<std::string> PassedOverNotes(const PassedOver& passedOver);

// The addresses to announce when only new or changed pages are: those IndexNow never
// accepted, and those whose text a check saw change, or whose trusted lastmod is, later than
// their last acceptance, unless that was within the last ten minutes. The order stays.
std::vector<std::string> NewOrChanged(const std::vector<std::string>& addresses,
                                      const std::unordered_map<std::string, PageDates>& dates,
                                      std::int64_t now, PassedOver& passedOver);

// The addresses of one host announced in one request, in list order.
struct IndexNowBatch {
    std::string host;
    std::vector<std::string> urls;
};

// An https address with a host: what an endpoint must be.
bool IsHttpsAddress(std::string_view address);
// An https address on a site that ends in ".txt": what a key location must be.
bool IsKeyLocation(std::string_view address);

// One batch per host, hosts in the order they first appear, each split into batches of at
// most maxAddresses. Addresses without an http or https host are left out.
std::vector<IndexNowBatch> MakeBatches(const std::vector<std::string>& addresses,
                                       std::size_t maxAddresses = kMaxBatchAddresses);

// The JSON body of a batch: {"host":…,"key":…,"keyLocation":… when set,"urlList":[…]}. Bytes
// that cannot stand in an address (blanks, controls, bytes of 0x80 and above) travel
// percent-encoded, so the body is ASCII whatever the list holds.
std::string BatchBody(const IndexNowSettings& settings, const IndexNowBatch& batch);

// How a batch is named in the failures window: "<host> (<n> addresses)".
std::string BatchLabel(std::string_view host, std::size_t count);

}  // namespace quaymark
