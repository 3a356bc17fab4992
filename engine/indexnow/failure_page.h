#pragma once

#include <string_view>

#include "engine/net/page_lines.h"
#include "engine/net/status_fetcher.h"
#include "storage/indexnow_settings.h"

namespace quaymark {

// Why an address is not sent at all.
inline constexpr std::string_view kNotAnnounceable = "not an http or https address with a host";

// The page kept for an IndexNow failure: what it means and what to do, then the endpoint's
// own answer (its status line and body, as text) or why the transfer failed.
PageLines IndexNowFailurePage(std::string_view reason, const StatusAnswer& answer,
                              const IndexNowSettings& settings, std::string_view label,
                              std::string_view host);
// The page of an address that is never sent.
PageLines NotAnnouncedPage(std::string_view address);

}  // namespace quaymark
