// Reading a redirect's headers: the value found never spans a line end.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/net/http_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view headers(reinterpret_cast<const char*>(data), size);
    const std::optional<std::string> location = quaymark::FindLocation(headers);
    if (location) {
        if (location->find('\n') != std::string::npos ||
            (!location->empty() && location->back() == '\r') ||
            headers.find(*location) == std::string_view::npos) {
            std::abort();
        }
    }
    return 0;
}
