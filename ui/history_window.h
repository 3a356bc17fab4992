#pragma once

#include <QDialog>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "storage/history.h"
#include "ui/dialog_template.h"

class QLineEdit;
class QTableWidget;

namespace quaymark::ui {

// What the history knows of every address of the list: when each engine and IndexNow last
// accepted it, its last failure, and whether an engine has had it within the last 24 hours,
// filterable by address text; Export CSV writes the rows shown. Below, each site's sitemaps.
class CHistoryDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 162;
    static constexpr std::int64_t kDaySeconds = 24 * 60 * 60;

    // The addresses are the list's; the summaries what the history holds of each address,
    // the sitemaps those each site's imports read.
    CHistoryDlg(const std::vector<std::string>& addresses,
                const std::unordered_map<std::string, AddressHistory>& summaries,
                const std::vector<RememberedSitemap>& sitemaps, std::int64_t now,
                QWidget* parent = nullptr);

    void OnFilter();
    void OnExport();

    const DialogControls& controls() const { return controls_; }
    // The rows shown, as Export writes them, the column names first.
    std::vector<std::vector<std::string>> ShownRows() const;

private:
    DialogControls controls_;
    QLineEdit* filterEdit_;
    QTableWidget* table_;
};

}  // namespace quaymark::ui
