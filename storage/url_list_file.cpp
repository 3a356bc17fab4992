#include "storage/url_list_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "base/text_lines.h"

namespace quaymark {
namespace {

constexpr std::string_view kEndMarker = "EOS";

}  // namespace

bool FileExists(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    return errno != ENOENT;
}

FileResult LoadUrlList(const std::filesystem::path& path, std::vector<std::string>& list,
                       std::string& email) {
    email.clear();
    std::string content;
    const FileResult read = ReadRegularFile(path, content);
    if (read) {
        ParseUrlList(content, list, email);
    }
    return read;
}

void ParseUrlList(std::string_view content, std::vector<std::string>& list, std::string& email) {
    email.clear();
    std::string_view rest = content;
    while (!rest.empty()) {
        const std::string_view line = NextLine(rest);
        if (line == kEndMarker) {
            if (!rest.empty()) {
                email.assign(NextLine(rest));
            }
            return;
        }
        list.emplace_back(line);
    }
}

std::string FormatUrlList(const std::vector<std::string>& list, const std::string& email) {
    std::size_t size = kEndMarker.size() + email.size() + 4;
    for (const std::string& entry : list) {
        size += entry.size() + 2;
    }
    std::string content;
    content.reserve(size);
    for (const std::string& entry : list) {
        content.append(entry).append("\r\n");
    }
    content.append(kEndMarker).append("\r\n");
    content.append(email).append("\r\n");
    return content;
}

FileResult SaveUrlList(const std::filesystem::path& path, const std::vector<std::string>& list,
                       const std::string& email, WriteBytes write) {
    return WriteFileAtomically(path, FormatUrlList(list, email), write);
}

std::filesystem::path RescuePath(const std::filesystem::path& listFile, std::time_t now) {
    std::tm local{};
    ::localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "-%Y-%m-%d-%H%M%S", &local);
    std::filesystem::path name = listFile.stem();
    name += stamp;
    name += listFile.extension();
    return listFile.parent_path() / name;
}

}  // namespace quaymark
