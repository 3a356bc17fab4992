// The access log reader: any bytes give a request or nothing, and a request read is one whose
// fields can be: a status of three digits, a method and a target.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/crawl/access_log.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const auto request = quaymark::ParseLogLine(line);
    if (request && (request->status < 100 || request->status > 999 || request->target.empty() ||
                    request->method.empty())) {
        std::abort();
    }
    return 0;
}
