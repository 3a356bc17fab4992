#pragma once

#include <QDialog>
#include <functional>
#include <stop_token>
#include <string>

#include "app/crawl_logs.h"
#include "app/site_status.h"

class QChartView;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStandardItemModel;
class QTabWidget;
class QTableView;

namespace quaymark::ui {

// Every site at a glance: its pages, sitemaps and access logs, its last announcement, each
// channel's state and quota, how many announced pages the robots fetched since and how many
// Google has indexed. For the chosen site, charts by day over the last days (announcements per
// channel, verified robots' visits per engine, Google's indexed pages) and how soon each engine
// came; its logs are given, taken and read here; a page's timeline on demand. Everything is read
// off the UI thread; the window shows at once and fills in as the answers come.
class SitesWindow : public QDialog {
    Q_OBJECT

public:
    // The routing is where the robots' lookups go (the system's resolver in the program).
    explicit SitesWindow(RunRouting routing, QWidget* parent = nullptr);
    // A read of the logs still under way is stopped: what it read so far is kept.
    ~SitesWindow() override;

    // The site of that row becomes the chosen one; its figures are read again.
    void ChooseSite(int row);
    // The log is given to the chosen site, or taken from it; the logs read.
    void AddLog(const QString& path);
    void RemoveLog(const QString& path);
    void ReadLogs();
    void ShowTimeline(const QString& page);

    // What the window shows, for tests and for the user's clipboard.
    const SitesStatus& status() const { return status_; }
    QString notes() const;
    QStandardItemModel* timeline() const { return timeline_; }
    QChartView* chart(int index) const;

signals:
    // An answer came and is shown: the sites' status, a read of the logs or a timeline.
    void answered();

private:
    template <typename Result>
    void Off(std::function<Result()> work, std::function<void(Result)> done);
    void AskStatus();
    void Show(SitesStatus status);
    void ShowChosen(const SiteStatus& site);
    void Tell(const QString& text);

    RunRouting routing_;
    std::stop_source stop_;
    std::string chosen_;
    SitesStatus status_;
    QTableView* sites_;
    QStandardItemModel* rows_;
    QListWidget* logs_;
    QPushButton* removeLog_;
    QLabel* figures_;
    QTabWidget* charts_;
    QLineEdit* page_;
    QStandardItemModel* timeline_;
    QTableView* events_;
    QLabel* notes_;
};

}  // namespace quaymark::ui
