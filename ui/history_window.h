#pragma once

#include <QDialog>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/history_table.h"
#include "ui/dialog_template.h"

class QLineEdit;
class QSortFilterProxyModel;

namespace quaymark::ui {

class HistoryModel;

// What the history knows of every address of the list: when each engine and IndexNow last
// accepted it, its last failure, and whether an engine has had it within the last 24 hours,
// filterable by address text; Export CSV writes the rows shown. The pages that left every
// sitemap of their site are marked, and can be taken out of the list. Below, each site's
// sitemaps and the announcer's runs.
class CHistoryDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 162;

    // The addresses are the list's; the contents what the history holds of each address, of
    // each site and of the announcer.
    CHistoryDlg(const std::vector<std::string>& addresses, const HistoryContents& contents,
                std::int64_t now, QWidget* parent = nullptr);
    // The table made already, off the UI thread.
    CHistoryDlg(HistoryTable table, const HistoryContents& contents, QWidget* parent = nullptr);

    void OnFilter();
    void OnExport();
    // Closes the window asking the list to lose the pages no longer in a sitemap.
    void OnRemoveRemoved();

    // The list's pages no longer in a sitemap, when the user asked to remove them.
    const std::vector<std::string>& pagesToRemove() const { return pagesToRemove_; }

    const DialogControls& controls() const { return controls_; }

signals:
    // Sites... was clicked: the Sites window is the main window's to open.
    void sitesAsked();

public:
    // The rows shown, as Export writes them, the column names first.
    std::vector<std::vector<std::string>> ShownRows() const;

private:
    DialogControls controls_;
    QLineEdit* filterEdit_;
    HistoryModel* model_;
    QSortFilterProxyModel* shown_;
    std::vector<std::string> removedInList_;
    std::vector<std::string> pagesToRemove_;
};

}  // namespace quaymark::ui
