#pragma once

#include <filesystem>
#include <string>

namespace quaymark::testing {

// A fresh directory under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Makes a temporary directory the working directory for as long as it lives.
class ScopedWorkingDir {
public:
    ScopedWorkingDir();
    ~ScopedWorkingDir();

    const std::filesystem::path& path() const { return dir_.path(); }

private:
    TempDir dir_;
    std::filesystem::path previous_;
};

std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

}  // namespace quaymark::testing
