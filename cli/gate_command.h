#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

#include "cli/announcer.h"

namespace quaymark::cli {

// "gate" shows the gate's rules; "gate not-announced [PATTERN]..." and "gate let-through
// [PATTERN]..." set them (none given clears the list).
class GateCommand {
public:
    explicit GateCommand(CLI::App& app);
    // The status of the command asked, when it was this one.
    std::optional<int> Run(const AnnouncerSeams& seams) const;

private:
    CLI::App* gate_ = nullptr;
    CLI::App* notAnnounced_ = nullptr;
    CLI::App* letThrough_ = nullptr;
    std::vector<std::string> patterns_{};
};

}  // namespace quaymark::cli
