#include "cli/gate_command.h"

#include "app/channel_setup.h"
#include "cli/channel_words.h"
#include "cli/progress.h"

namespace quaymark::cli {
namespace {

std::string Listed(const std::vector<std::string>& patterns) {
    std::string text;
    for (const std::string& pattern : patterns) {
        text += (text.empty() ? "" : " ") + pattern;
    }
    return text.empty() ? "none" : Printable(text);
}

}  // namespace

GateCommand::GateCommand(CLI::App& app) {
    gate_ = app.add_subcommand(
        "gate",
        "Show which hosts the modern channels never announce (beside localhost, .test, "
        ".local, private addresses and the like) and which are let through");
    notAnnounced_ =
        gate_->add_subcommand("not-announced",
                              "Never announce these hosts (patterns such as staging.* or "
                              "*.netlify.app); none given clears the list");
    letThrough_ =
        gate_->add_subcommand("let-through",
                              "Announce these hosts although they cannot be a public site (a test "
                              "setup); none given clears the list");
    for (CLI::App* command : {notAnnounced_, letThrough_}) {
        command->add_option("pattern", patterns_, "A host, or a pattern where * is any text");
    }
}

std::optional<int> GateCommand::Run(const AnnouncerSeams& seams) const {
    if (!gate_->parsed()) {
        return std::nullopt;
    }
    GateChoice choice;
    if (notAnnounced_->parsed()) {
        choice.notAnnounced = patterns_;
    }
    if (letThrough_->parsed()) {
        choice.letThrough = patterns_;
    }
    const ChannelChange change =
        notAnnounced_->parsed() || letThrough_->parsed() ? SetGate(choice) : LoadedSettings();
    if (const int status = Told(change, seams); status != kAllAnnounced) {
        return status;
    }
    seams.out << "Never announced: " << Listed(change.settings.notAnnounced) << "\n"
              << "Let through: " << Listed(change.settings.letThrough) << "\n";
    return kAllAnnounced;
}

}  // namespace quaymark::cli
