#include "storage/url_list_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string_view>
#include <system_error>

namespace quaymark {
namespace {

constexpr std::string_view kEndMarker = "EOS";

bool ReadWhole(const std::filesystem::path& path, std::string& content) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0 && info.st_size > 0) {
        content.reserve(static_cast<std::size_t>(info.st_size));
    }
    char buffer[1 << 16];
    bool complete = false;
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            complete = got == 0;
            break;
        }
        content.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return complete;
}

// Takes the next line off the front of the text; a CR right before the LF is not part of it.
std::string_view NextLine(std::string_view& text) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (end == std::string_view::npos) {
        text = {};
        return line;
    }
    text.remove_prefix(end + 1);
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

void SyncDirectory(const std::filesystem::path& directory) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

std::filesystem::path TemporaryBeside(const std::filesystem::path& path) {
    static std::atomic<unsigned> counter{0};
    std::filesystem::path temporary = path;
    temporary += ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
    return temporary;
}

}  // namespace

bool FileExists(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    return errno != ENOENT;
}

void LoadUrlList(const std::filesystem::path& path, std::vector<std::string>& list,
                 std::string& email) {
    email.clear();
    std::string content;
    if (ReadWhole(path, content)) {
        ParseUrlList(content, list, email);
    }
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

bool SaveUrlList(const std::filesystem::path& path, const std::vector<std::string>& list,
                 const std::string& email) {
    std::error_code error;
    const std::filesystem::path directory = path.parent_path();
    if (!directory.empty()) {
        std::filesystem::create_directories(directory, error);
    }
    const std::filesystem::path temporary = TemporaryBeside(path);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    const bool stored = WriteAll(fd, FormatUrlList(list, email)) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!stored || !closed || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    SyncDirectory(directory.empty() ? std::filesystem::path(".") : directory);
    return true;
}

}  // namespace quaymark
