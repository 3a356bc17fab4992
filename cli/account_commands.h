#pragma once

#include <CLI/CLI.hpp>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/accounts.h"
#include "cli/announcer.h"

namespace quaymark::cli {

// A command for each channel of an engine's own API, named after its settings' section:
// "<section> on [--credential-file FILE] [--site URL]... [--plain-http|--https]" and
// "<section> off". The credential is read from a file (or standard input, "-"), never taken
// as an argument, where every process of the machine could read it.
class AccountCommands {
public:
    explicit AccountCommands(CLI::App& app);
    // The status of the command asked, when it was one of these.
    std::optional<int> Run(const AnnouncerSeams& seams) const;

private:
    struct Command {
        AccountView view;
        CLI::App* on = nullptr;
        CLI::App* off = nullptr;
        std::string credentialFile{};
        std::vector<std::string> sites{};
        bool plainHttp = false;
        bool https = false;
    };
    int On(const Command& command, const AnnouncerSeams& seams) const;

    std::vector<std::unique_ptr<Command>> commands_;
};

}  // namespace quaymark::cli
