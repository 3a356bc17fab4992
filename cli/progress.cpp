#include "cli/progress.h"

#include <algorithm>

#include "base/utf8.h"

namespace quaymark::cli {
namespace {

constexpr int kBarWidth = 24;
constexpr std::size_t kTextWidth = 52;

}  // namespace

std::string Printable(std::string text) {
    std::replace_if(
        text.begin(), text.end(),
        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7f'; }, '?');
    return text;
}

void ProgressLines::RunStarted(int itemCount, int stepsPerItem, int extraSteps) {
    total_ = TotalSteps(itemCount, stepsPerItem, extraSteps);
    done_ = 0;
}

void ProgressLines::EngineStarted(std::string_view engine) {
    engine_ = engine;
    Show(engine_ + ": " + item_);
}

void ProgressLines::RequestDone() {
    ++done_;
    if (terminal_) {
        Show(engine_ + ": " + item_);
    }
}

void ProgressLines::WaitStarted(std::string_view engine, std::chrono::seconds wait,
                                std::string_view why) {
    Show(std::string(engine) + ": waiting " + std::to_string(wait.count()) + " s (" +
         std::string(why) + ")");
}

void ProgressLines::RunEnded() {
    if (barShown_) {
        err_ << "\r\033[K" << std::flush;
        barShown_ = false;
    }
}

void ProgressLines::Show(const std::string& text) {
    if (quiet_) {
        return;
    }
    std::string line = Printable(text);
    if (!terminal_) {
        err_ << line << '\n';
        return;
    }
    if (line.size() > kTextWidth) {
        line = std::string(Utf8Prefix(line, kTextWidth - 3)) + "...";
    }
    const long long filled =
        total_ > 0 ? std::min<long long>(done_, total_) * kBarWidth / total_ : 0;
    err_ << "\r\033[K[" << std::string(static_cast<std::size_t>(filled), '#')
         << std::string(static_cast<std::size_t>(kBarWidth - filled), ' ') << "] " << line
         << std::flush;
    barShown_ = true;
}

}  // namespace quaymark::cli
