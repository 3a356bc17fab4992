#pragma once

#include <QDialog>
#include <QTimer>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/sites.h"
#include "ui/dialog_template.h"

class QLabel;
class QLineEdit;

namespace quaymark::ui {

// What an import's message says of its failures and notes: a few failures and each kind of
// note counted with a few examples, so that the message stays small whatever the import met;
// every line kept goes to the details.
struct ImportReport {
    QString failures;
    QString notes;
    QString details;
};
ImportReport ReportImport(const SitemapImport& import);
// A sitemap's failure as the user reads it: "<sitemap>: <why>".
QString FailureLine(const SitemapFailure& failure);

// How an import reaches the list: each new page offered to add (false when the list will not
// take it), and the pages' last changes handed on to be kept.
struct ImportTaking {
    std::function<bool(const std::string& address)> add;
    std::function<void(std::vector<std::pair<std::string, std::int64_t>> lastmods)> keepLastmods;
};
// Takes an import into the list: asks first when it did not complete, offers the pages not in
// the entries in sitemap order, and tells what came of it.
void MergeImport(QWidget* owner, SitemapImport import, const std::vector<std::string>& entries,
                 const ImportTaking& taking);

// Asks for the site or the sitemap to import from.
class CImportDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 160;

    explicit CImportDlg(QWidget* parent = nullptr);

    // The address as OK took it.
    std::string address() const;
    const DialogControls& controls() const { return controls_; }

protected:
    void accept() override;

private:
    DialogControls controls_;
    QLineEdit* addressEdit_;
};

// The window that stays on screen while an import is under way: the sitemap being read and
// how many addresses were found, as the worker last left them, looked at once per frame.
// Cancel, Esc and the close box only ask for the import to stop.
class CImportProgressDlg : public QDialog, public ImportObserver {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 161;
    static constexpr int kFrameMilliseconds = 40;

    explicit CImportProgressDlg(QWidget* owner);

    // ImportObserver, from the worker thread.
    void SitemapStarted(const std::string& url) override;
    void AddressesFound(std::size_t count) override;

    const DialogControls& controls() const { return controls_; }

signals:
    void cancelRequested();

protected:
    void reject() override;

private:
    template <typename Change>
    void Update(Change change);
    void ShowLatest();

    DialogControls controls_;
    QLabel* sitemapText_;
    QLabel* foundText_;
    QTimer frame_;
    std::mutex stateMutex_;
    std::string sitemap_;
    std::size_t found_ = 0;
    bool changed_ = false;
};

}  // namespace quaymark::ui
