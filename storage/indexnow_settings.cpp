#include "storage/indexnow_settings.h"

#include <algorithm>

#include "base/text_lines.h"

namespace quaymark {

bool IsValidIndexNowKey(std::string_view key) {
    return key.size() >= 8 && key.size() <= 128 && std::all_of(key.begin(), key.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '-';
           });
}

FileResult LoadIndexNowSettings(const std::filesystem::path& path, IndexNowSettings& settings) {
    std::string content;
    if (FileResult read = ReadRegularFile(path, content); !read) {
        return read;
    }
    std::string_view rest = content;
    while (!rest.empty()) {
        const std::string_view line = NextLine(rest);
        const std::size_t equals = line.find('=');
        const std::string_view name = line.substr(0, equals);
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view{} : line.substr(equals + 1);
        if (name == "key" && IsValidIndexNowKey(value)) {
            settings.key = value;
        } else if (name == "endpoint" && !value.empty()) {
            settings.endpoint = value;
        } else if (name == "keyLocation") {
            settings.keyLocation = value;
        } else if (name == "enabled") {
            settings.enabled = value == "true";
        } else if (name == "onlyNewOrChanged") {
            settings.onlyNewOrChanged = value == "true";
        } else if (name == "classic") {
            settings.classic = value != "false";
        } else if (name == "checkPages") {
            settings.checkPages = value != "false";
        } else if (name == "google") {
            settings.google = value == "true";
        }
    }
    settings.enabled = settings.enabled && !settings.key.empty();
    return {};
}

FileResult SaveIndexNowSettings(const std::filesystem::path& path,
                                const IndexNowSettings& settings) {
    if (!settings.key.empty() && !IsValidIndexNowKey(settings.key)) {
        return {std::make_error_code(std::errc::invalid_argument)};
    }
    return WriteFileAtomically(
        path, "key=" + settings.key + "\nendpoint=" + settings.endpoint +
                  "\nenabled=" + (settings.enabled ? "true" : "false") + "\n" +
                  (settings.keyLocation.empty() ? std::string()
                                                : "keyLocation=" + settings.keyLocation + "\n") +
                  (settings.onlyNewOrChanged ? "onlyNewOrChanged=true\n" : "") +
                  (settings.classic ? "" : "classic=false\n") +
                  (settings.checkPages ? "" : "checkPages=false\n") +
                  (settings.google ? "google=true\n" : ""));
}

FileResult SaveServiceKeyFile(const std::filesystem::path& path, const std::string& text,
                              WriteBytes write) {
    // A key is a secret: whatever mode the earlier copy had, this one is ours alone.
    return WriteSecretAtomically(path, text, write);
}

}  // namespace quaymark
