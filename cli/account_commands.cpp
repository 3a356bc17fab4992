#include "cli/account_commands.h"

#include <fstream>
#include <iostream>
#include <iterator>

#include "cli/channel_words.h"
#include "cli/progress.h"

namespace quaymark::cli {
namespace {

constexpr std::size_t kMaxRead = 64 << 10;

std::string Read(std::istream& in) {
    std::string text;
    char c = 0;
    while (text.size() < kMaxRead && in.get(c)) {
        text += c;
    }
    return text;
}

}  // namespace

AccountCommands::AccountCommands(CLI::App& app) {
    for (AccountView& view : Accounts({}, false)) {
        auto command = std::make_unique<Command>(Command{.view = std::move(view)});
        Command& c = *command;
        CLI::App* channel = app.add_subcommand(c.view.section, "Turn " + c.view.name + " on or off")
                                ->require_subcommand(1);
        c.on = channel->add_subcommand(
            "on", "Turn it on, with the " + c.view.credential + " given or the one kept");
        c.on->add_option("--credential-file", c.credentialFile,
                         "A file holding the " + c.view.credential + " (- for standard input). " +
                             c.view.where)
            ->type_name("FILE");
        c.on->add_option("--site", c.sites, c.view.sites)->type_name("URL");
        if (!c.view.plainHttpWarning.empty()) {
            CLI::Option* plain =
                c.on->add_flag("--plain-http", c.plainHttp, c.view.plainHttpWarning);
            c.on->add_flag("--https", c.https, "Use https again")->excludes(plain);
        }
        c.off =
            channel->add_subcommand("off", "Turn it off; its " + c.view.credential + " is kept");
        commands_.push_back(std::move(command));
    }
}

int AccountCommands::On(const Command& command, const AnnouncerSeams& seams) const {
    AccountChoice choice;
    if (!command.credentialFile.empty()) {
        std::ifstream file;
        if (command.credentialFile != "-") {
            file.open(command.credentialFile, std::ios::binary);
            if (!file) {
                return Problem(seams, command.credentialFile + " could not be read", kSetupOrUsage);
            }
        }
        choice.credential = Read(command.credentialFile == "-" ? std::cin : file);
        if (choice.credential.empty()) {
            return Problem(seams, command.credentialFile + " holds nothing", kSetupOrUsage);
        }
    }
    if (!command.sites.empty()) {
        choice.sites = command.sites;
    }
    if (command.plainHttp || command.https) {
        choice.plainHttp = command.plainHttp;
    }
    const ChannelChange change = TurnAccountOn(command.view.section, choice);
    if (const int status = Told(change, seams); status != kAllAnnounced) {
        return status;
    }
    const AccountSettings& settings = change.settings.accounts.at(command.view.section);
    std::string sites;
    for (const std::string& site : settings.sites) {
        sites += (sites.empty() ? "" : ", ") + site;
    }
    seams.out << command.view.name << " is on, with the " << command.view.credential << " "
              << change.account << ", for " << (sites.empty() ? "every site" : Printable(sites))
              << ".\n";
    TellKeptInFile(change, seams);
    if (settings.plainHttp) {
        seams.out << "Its requests go over plain http: the " << command.view.credential
                  << " travels unencrypted.\n";
    }
    return kAllAnnounced;
}

std::optional<int> AccountCommands::Run(const AnnouncerSeams& seams) const {
    for (const auto& command : commands_) {
        if (command->on->parsed()) {
            return On(*command, seams);
        }
        if (command->off->parsed()) {
            const int status = Told(TurnAccountOff(command->view.section), seams);
            if (status == kAllAnnounced) {
                seams.out << command->view.name << " is off; its " << command->view.credential
                          << " is kept.\n";
            }
            return status;
        }
    }
    return std::nullopt;
}

}  // namespace quaymark::cli
