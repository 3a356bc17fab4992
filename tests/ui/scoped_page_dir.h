#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <filesystem>

#include "storage/program_paths.h"
#include "tests/support/temp_dir.h"

namespace quaymark::testing {

// Gives the program a fresh cache directory and works in its error-page directory for as
// long as it lives, so that tests find the pages by their bare names.
class ScopedPageDir {
public:
    ScopedPageDir() : previousCache_(qgetenv("XDG_CACHE_HOME")) {
        qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(cache_.path().string()));
        pages_ = ErrorPageDirectory();
        previousDir_ = std::filesystem::current_path();
        std::filesystem::current_path(pages_);
    }
    ~ScopedPageDir() {
        std::filesystem::current_path(previousDir_);
        qputenv("XDG_CACHE_HOME", previousCache_);
    }
    ScopedPageDir(const ScopedPageDir&) = delete;
    ScopedPageDir& operator=(const ScopedPageDir&) = delete;

    const std::filesystem::path& path() const { return pages_; }

private:
    TempDir cache_;
    QByteArray previousCache_;
    std::filesystem::path pages_;
    std::filesystem::path previousDir_;
};

}  // namespace quaymark::testing
