#include <QDateTime>
#include <QListView>
#include <QStringList>
#include <ctime>
#include <unordered_set>

#include "base/product.h"
#include "ui/byte_text.h"
#include "ui/desktop.h"
#include "ui/history_window.h"
#include "ui/main_window.h"
#include "ui/program_title.h"
#include "ui/results_windows.h"

// The window's part in the daily job: Announce Changes, the pages that left every sitemap,
// and the daily timer's failures.
namespace quaymark::ui {
namespace {

const QString kNoModernChannelText = QStringLiteral(
    "Announce Changes announces through IndexNow, which is off or has no key. Turn it on with "
    "Channels... in the window's menu (Ctrl+N).");
const QString kNoSitemapText = QStringLiteral(
    "No site has a remembered sitemap yet. Import a site's sitemaps with Import Sitemap... in "
    "the window's menu (Ctrl+I) first.");
const QString kNoHistoryText =
    QStringLiteral("Announce Changes needs the history, which is not kept in this session.");
const QString kPagesAddedText =
    QStringLiteral("%1 new in the sitemaps: added at the end of the list.");
const QString kSitemapProblemsText = QStringLiteral("Some sitemaps could not be read:");
const QString kRemoveQuestionText =
    QStringLiteral("Remove the %1 no longer in a sitemap from the list?");
const QString kRemovedText = QStringLiteral("%1 removed from the list.");
const QString kScheduledFailedText =
    QStringLiteral("The daily announcement of %1 did not go well: %2");

QString Pages(std::size_t count) {
    return count == 1 ? QStringLiteral("1 page") : QStringLiteral("%1 pages").arg(count);
}

}  // namespace

void CSubmitDlg::OnAnnounceChanges() {
    TakeFields();
    if (!AnyModernChannelOn(runs_.channels())) {
        ShowMessage(this, kNoModernChannelText, kProgramTitle);
        return;
    }
    if (!history_.Available()) {
        ShowMessage(this, kNoHistoryText, kProgramTitle);
        return;
    }
    runs_.SetHistory(history_.Writer());
    std::optional<AnnounceOutcome> announced = runs_.AnnounceChanges(this);
    if (!announced || quitAfterRun_) {
        return;  // no run was made; or the program ends from the event loop, see RequestQuit
    }
    AnnounceOutcome& outcome = *announced;
    if (outcome.setup != AnnounceOutcome::Setup::Ready) {
        ShowMessage(this,
                    outcome.setup == AnnounceOutcome::Setup::NoChannel ? kNoModernChannelText
                                                                       : kNoSitemapText,
                    kProgramTitle);
        return;
    }
    QStringList lines{DisplayText(AnnounceSummary(outcome, false))};
    if (const std::size_t added = AddPages(outcome.listPages); added > 0) {
        lines << kPagesAddedText.arg(Pages(added));
    }
    for (const std::string& note : outcome.run.notes) {
        lines << DisplayText(note);
    }
    QStringList problems;
    for (const SiteReading& site : outcome.sites) {
        for (const SitemapFailure& failure : site.failures) {
            problems << DisplayText(FailureText(failure));
        }
    }
    if (!problems.isEmpty()) {
        lines << kSitemapProblemsText;
    }
    ShowMessage(this, lines.join(QLatin1Char('\n')), kProgramTitle,
                problems.isEmpty() ? MessageIcon::None : MessageIcon::Warning,
                problems.join(QLatin1Char('\n')));
    if (outcome.run.failed) {
        CFailedDlg results(std::move(outcome.run), runs_, this);
        results.exec();
    } else if (!outcome.chosen.empty() && !outcome.cancelled) {
        CDoneDlg results(this);
        results.exec();
    }
}

// The pages the list lacks go at its end, as an import adds them.
std::size_t CSubmitDlg::AddPages(const std::vector<std::string>& pages) {
    const std::vector<std::string> lacking = entries_->list().Lacking(pages);
    const ChangingControls changing(changingControls_);
    for (const std::string& page : lacking) {
        AddEntry(page);
    }
    return lacking.size();
}

// The pages that left every sitemap of their site leave the list once the user agrees.
void CSubmitDlg::RemovePagesNoLongerInASitemap(const std::vector<std::string>& pages) {
    const std::unordered_set<std::string> gone(pages.begin(), pages.end());
    if (gone.empty() ||
        !AskYesNo(this, kRemoveQuestionText.arg(Pages(gone.size())), kProgramTitle)) {
        return;
    }
    const ChangingControls changing(changingControls_);
    const std::size_t removed = entries_->RemoveEntries(gone);
    list_->clearSelection();
    ShowMessage(this, kRemovedText.arg(Pages(removed)), kProgramTitle);
}

// Told once, at start: the daily timer's last run failed.
void CSubmitDlg::TellFailedDailyRun() {
    history_.TellUntoldFailure(this, [this](const AnnouncerRun& run) {
        if (!ended_) {
            ShowMessage(this,
                        kScheduledFailedText.arg(QDateTime::fromSecsSinceEpoch(run.time).toString(
                                                     QStringLiteral("yyyy-MM-dd HH:mm")),
                                                 DisplayText(run.result)),
                        kProgramTitle, MessageIcon::Warning);
        }
    });
}

}  // namespace quaymark::ui
