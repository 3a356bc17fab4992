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

namespace {

// Each setting's section. A name keeps today's spelling, unique in the whole file, so that a
// file read by an older version (which passes the section lines over) means the same.
struct Field {
    std::string_view name;
    std::string_view section;
};
constexpr Field kFields[] = {
    {"key", "indexnow"},
    {"endpoint", "indexnow"},
    {"enabled", "indexnow"},
    {"keyLocation", "indexnow"},
    {"onlyNewOrChanged", "indexnow"},
    {"classic", "classic"},
    {"checkPages", "checks"},
    {"google", "google"},
    {"letThrough", "gate"},
    {"notAnnounced", "gate"},
};

std::vector<std::string> Words(std::string_view value) {
    std::vector<std::string> words;
    while (!value.empty()) {
        const std::size_t blank = value.find(' ');
        if (blank != 0) {
            words.emplace_back(value.substr(0, blank));
        }
        value = blank == std::string_view::npos ? std::string_view{} : value.substr(blank + 1);
    }
    return words;
}

std::string Joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) {
        text += (text.empty() ? "" : " ") + word;
    }
    return text;
}

std::string ListLine(std::string_view name, const std::vector<std::string>& words) {
    return words.empty() ? std::string() : std::string(name) + "=" + Joined(words) + "\n";
}

// A setting is taken in its own section, or before any section, as the files of before the
// sections have them all.
bool InPlace(std::string_view name, std::string_view section) {
    return std::any_of(std::begin(kFields), std::end(kFields), [&](const Field& field) {
        return field.name == name && (section.empty() || field.section == section);
    });
}

void Take(std::string_view name, std::string_view value, IndexNowSettings& settings) {
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
    } else if (name == "letThrough") {
        settings.letThrough = Words(value);
    } else if (name == "notAnnounced") {
        settings.notAnnounced = Words(value);
    } else if (name == "google") {
        settings.google = value == "true";
    }
}

// A section no setting above lives in is an engine's own channel: its lines are named after it.
bool IsAccountSection(std::string_view section) {
    return !section.empty() &&
           std::none_of(std::begin(kFields), std::end(kFields),
                        [&](const Field& field) { return field.section == section; }) &&
           std::all_of(section.begin(), section.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

void TakeAccount(std::string_view section, std::string_view name, std::string_view value,
                 IndexNowSettings& settings) {
    if (!name.starts_with(section)) {
        return;
    }
    const std::string_view what = name.substr(section.size());
    auto& account = settings.accounts[std::string(section)];
    if (what.empty()) {
        account.enabled = value == "true";
    } else if (what == "PlainHttp") {
        account.plainHttp = value == "true";
    } else if (what == "Sites") {
        account.sites = Words(value);
    }
}

std::string AccountLines(const std::string& section, const AccountSettings& account) {
    const std::string sites = Joined(account.sites);
    return (account.enabled ? section + "=true\n" : "") +
           (sites.empty() ? "" : section + "Sites=" + sites + "\n") +
           (account.plainHttp ? section + "PlainHttp=true\n" : "");
}

// The section's lines under its heading; nothing when it has none.
std::string Section(std::string_view section, const std::string& lines) {
    return lines.empty() ? std::string() : "[" + std::string(section) + "]\n" + lines;
}

}  // namespace

FileResult LoadIndexNowSettings(const std::filesystem::path& path, IndexNowSettings& settings) {
    std::string content;
    if (FileResult read = ReadRegularFile(path, content); !read) {
        return read;
    }
    std::string_view rest = content;
    std::string_view section;
    while (!rest.empty()) {
        const std::string_view line = NextLine(rest);
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            continue;
        }
        const std::size_t equals = line.find('=');
        const std::string_view name = line.substr(0, equals);
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view{} : line.substr(equals + 1);
        if (IsAccountSection(section)) {
            TakeAccount(section, name, value, settings);
        } else if (InPlace(name, section)) {
            Take(name, value, settings);
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
    std::string accounts;
    for (const auto& [section, account] : settings.accounts) {
        if (IsAccountSection(section)) {
            accounts += Section(section, AccountLines(section, account));
        }
    }
    return WriteFileAtomically(
        path,
        Section("indexnow",
                "key=" + settings.key + "\nendpoint=" + settings.endpoint +
                    "\nenabled=" + (settings.enabled ? "true" : "false") + "\n" +
                    (settings.keyLocation.empty() ? std::string()
                                                  : "keyLocation=" + settings.keyLocation + "\n") +
                    (settings.onlyNewOrChanged ? "onlyNewOrChanged=true\n" : "")) +
            Section("classic", settings.classic ? "" : "classic=false\n") +
            Section("checks", settings.checkPages ? "" : "checkPages=false\n") +
            Section("google", settings.google ? "google=true\n" : "") +
            Section("gate", ListLine("letThrough", settings.letThrough) +
                                ListLine("notAnnounced", settings.notAnnounced)) +
            accounts);
}

FileResult SaveServiceKeyFile(const std::filesystem::path& path, const std::string& text,
                              WriteBytes write) {
    // A key is a secret: whatever mode the earlier copy had, this one is ours alone.
    return WriteSecretAtomically(path, text, write);
}

}  // namespace quaymark
