// The URL list reader: any file content loads, and what it loads saves and loads back alike.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "storage/url_list_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> list;
    std::string email;
    quaymark::ParseUrlList(content, list, email);

    // No loaded entry holds a line break, so every loaded list saves and loads back alike.
    for (const std::string& entry : list) {
        if (entry.find('\n') != std::string::npos) {
            std::abort();
        }
    }
    std::vector<std::string> again;
    std::string againEmail;
    quaymark::ParseUrlList(quaymark::FormatUrlList(list, email), again, againEmail);
    if (again != list || againEmail != email) {
        std::abort();
    }
    return 0;
}
