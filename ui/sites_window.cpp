#include "ui/sites_window.h"

#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QtConcurrent/QtConcurrentRun>
#include <ctime>

#include "app/crawl_logs.h"
#include "app/history_table.h"
#include "ui/byte_text.h"

namespace quaymark::ui {
namespace {

// A timeline of years of daily visits is shown by its latest events.
constexpr std::size_t kEventsShown = 2000;

QString Text(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString Share(std::size_t part, std::size_t whole) {
    return whole == 0
               ? QStringLiteral("—")
               : QStringLiteral("%1 of %2 (%3 %)")
                     .arg(part)
                     .arg(whole)
                     .arg(static_cast<int>(
                         100.0 * static_cast<double>(part) / static_cast<double>(whole) + 0.5));
}

QList<QStandardItem*> RowOf(const SiteRow& row) {
    QStringList channels;
    for (const ChannelState& channel : row.channels) {
        channels << Text(ChannelStateText(channel));
    }
    const QStringList cells = {
        Text(row.site),
        QString::number(row.pages),
        QString::number(row.sitemapPages),
        QString::number(row.logPaths.size()),
        row.lastAnnounced != 0 ? Text(Moment(row.lastAnnounced)) : QStringLiteral("never"),
        channels.join(QStringLiteral("; ")),
        Share(row.crawled, row.announced),
        Share(row.indexed, row.inspected),
    };
    QList<QStandardItem*> items;
    for (const QString& cell : cells) {
        auto* item = new QStandardItem(cell);
        item->setEditable(false);
        items << item;
    }
    return items;
}

// The series with anything in them, by day.
QChart* ChartOf(const QString& title, const std::vector<DaySeries>& series, std::int64_t firstDay) {
    auto* chart = new QChart;
    chart->setTitle(title);
    auto* days = new QDateTimeAxis;
    days->setFormat(QStringLiteral("MMM d"));
    days->setRange(QDateTime::fromSecsSinceEpoch(firstDay * 86400, Qt::UTC),
                   QDateTime::fromSecsSinceEpoch((firstDay + kStatusDays - 1) * 86400, Qt::UTC));
    auto* counts = new QValueAxis;
    counts->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(days, Qt::AlignBottom);
    chart->addAxis(counts, Qt::AlignLeft);
    std::int64_t most = 1;
    for (const DaySeries& one : series) {
        if (std::all_of(one.values.begin(), one.values.end(),
                        [](std::int64_t v) { return v == 0; })) {
            continue;
        }
        auto* line = new QLineSeries;
        line->setName(Text(one.name));
        for (std::size_t d = 0; d < one.values.size(); ++d) {
            line->append(static_cast<double>((firstDay + static_cast<std::int64_t>(d)) * 86400000),
                         static_cast<double>(one.values[d]));
            most = std::max(most, one.values[d]);
        }
        chart->addSeries(line);
        line->attachAxis(days);
        line->attachAxis(counts);
    }
    counts->setRange(0, static_cast<double>(most));
    return chart;
}

}  // namespace

SitesWindow::SitesWindow(RunRouting routing, QWidget* parent)
    : QDialog(parent), routing_(std::move(routing)) {
    setWindowTitle(QStringLiteral("Sites"));
    rows_ = new QStandardItemModel(0, 8, this);
    rows_->setHorizontalHeaderLabels(
        {QStringLiteral("Site"), QStringLiteral("Pages"), QStringLiteral("In sitemaps"),
         QStringLiteral("Logs"), QStringLiteral("Last announcement"), QStringLiteral("Channels"),
         QStringLiteral("Crawled since announced (%1 days)").arg(kStatusDays),
         QStringLiteral("Indexed by Google")});
    sites_ = new QTableView;
    sites_->setModel(rows_);
    sites_->setSelectionBehavior(QAbstractItemView::SelectRows);
    sites_->setSelectionMode(QAbstractItemView::SingleSelection);
    sites_->verticalHeader()->hide();
    sites_->horizontalHeader()->setStretchLastSection(true);
    connect(sites_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid()) {
                    ChooseSite(current.row());
                }
            });

    logs_ = new QListWidget;
    logs_->setMaximumHeight(60);
    auto* addLog = new QPushButton(QStringLiteral("&Add Log..."));
    removeLog_ = new QPushButton(QStringLiteral("&Remove Log"));
    auto* readLogs = new QPushButton(QStringLiteral("Rea&d Logs"));
    connect(addLog, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(
            this, QStringLiteral("The site's access log"), QStringLiteral("/var/log"));
        if (!path.isEmpty()) {
            AddLog(path);
        }
    });
    connect(removeLog_, &QPushButton::clicked, this, [this] {
        if (logs_->currentItem() != nullptr) {
            RemoveLog(logs_->currentItem()->text());
        }
    });
    connect(readLogs, &QPushButton::clicked, this, &SitesWindow::ReadLogs);
    auto* logButtons = new QVBoxLayout;
    logButtons->addWidget(addLog);
    logButtons->addWidget(removeLog_);
    logButtons->addWidget(readLogs);
    auto* logRow = new QHBoxLayout;
    logRow->addWidget(logs_, 1);
    logRow->addLayout(logButtons);

    figures_ = new QLabel;
    figures_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    charts_ = new QTabWidget;
    const QStringList titles = {QStringLiteral("&Announcements"), QStringLiteral("Robots' &visits"),
                                QStringLiteral("&Google")};
    for (const QString& title : titles) {
        auto* view = new QChartView;
        view->setRenderHint(QPainter::Antialiasing);
        view->setMinimumHeight(220);
        charts_->addTab(view, title);
    }

    page_ = new QLineEdit;
    page_->setPlaceholderText(QStringLiteral("https://www.example.com/page"));
    auto* showTimeline = new QPushButton(QStringLiteral("&Timeline"));
    connect(showTimeline, &QPushButton::clicked, this, [this] { ShowTimeline(page_->text()); });
    connect(page_, &QLineEdit::returnPressed, this, [this] { ShowTimeline(page_->text()); });
    auto* pageRow = new QHBoxLayout;
    auto* pageLabel = new QLabel(QStringLiteral("&Page:"));
    pageLabel->setBuddy(page_);
    pageRow->addWidget(pageLabel);
    pageRow->addWidget(page_, 1);
    pageRow->addWidget(showTimeline);
    timeline_ = new QStandardItemModel(0, 3, this);
    timeline_->setHorizontalHeaderLabels(
        {QStringLiteral("When"), QStringLiteral("What"), QStringLiteral("Answer")});
    events_ = new QTableView;
    events_->setModel(timeline_);
    events_->verticalHeader()->hide();
    events_->horizontalHeader()->setStretchLastSection(true);
    events_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    events_->setWordWrap(false);
    events_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    events_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);

    notes_ = new QLabel;
    notes_->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* top = new QWidget;
    auto* topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->addWidget(sites_);
    topLayout->addLayout(logRow);
    auto* middle = new QWidget;
    auto* middleLayout = new QVBoxLayout(middle);
    middleLayout->setContentsMargins(0, 0, 0, 0);
    middleLayout->addWidget(figures_);
    middleLayout->addWidget(charts_, 1);
    auto* bottom = new QWidget;
    auto* bottomLayout = new QVBoxLayout(bottom);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    bottomLayout->addLayout(pageRow);
    bottomLayout->addWidget(events_);
    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(top);
    split->addWidget(middle);
    split->addWidget(bottom);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(split, 1);
    layout->addWidget(notes_);
    layout->addWidget(buttons);
    resize(900, 760);
    AskStatus();
}

SitesWindow::~SitesWindow() {
    stop_.request_stop();
}

template <typename Result>
void SitesWindow::Off(std::function<Result()> work, std::function<void(Result)> done) {
    // The watcher goes with the window: an answer that comes after it closed is dropped.
    auto* watcher = new QFutureWatcher<Result>(this);
    connect(watcher, &QFutureWatcher<Result>::finished, this, [this, watcher, done] {
        done(watcher->result());
        watcher->deleteLater();
        emit answered();
    });
    watcher->setFuture(QtConcurrent::run(std::move(work)));
}

void SitesWindow::AskStatus() {
    Off<SitesStatus>([chosen = chosen_] { return StatusOfSites(chosen, std::time(nullptr)); },
                     [this](SitesStatus status) { Show(std::move(status)); });
}

void SitesWindow::Show(SitesStatus status) {
    status_ = std::move(status);
    if (!status_.failure.empty()) {
        Tell(Text(status_.failure));
    }
    const QSignalBlocker quiet(sites_->selectionModel());
    rows_->removeRows(0, rows_->rowCount());
    int chosenRow = -1;
    for (const SiteStatus& site : status_.sites) {
        if (site.chosen) {
            chosenRow = rows_->rowCount();
            ShowChosen(site);
        }
        rows_->appendRow(RowOf(site.row));
    }
    sites_->resizeColumnsToContents();
    if (chosenRow >= 0) {
        sites_->selectRow(chosenRow);
    } else if (!status_.sites.empty() && chosen_.empty()) {
        ChooseSite(0);  // the first site's figures, read next
    }
}

void SitesWindow::ShowChosen(const SiteStatus& site) {
    logs_->clear();
    for (const std::string& path : site.row.logPaths) {
        logs_->addItem(Text(path));
    }
    QStringList lines;
    for (const EngineCrawl& engine : site.engines) {
        lines << Text(EngineCrawlLine(engine));
    }
    figures_->setText(lines.isEmpty()
                          ? QStringLiteral("No announced page of %1 was fetched by a verified "
                                           "robot yet: give the site its access log.")
                                .arg(Text(site.row.site))
                          : lines.join(QLatin1Char('\n')));
    const std::vector<DaySeries>* series[] = {&site.sent, &site.visits, &site.google};
    const QString titles[] = {QStringLiteral("Pages announced, accepted and refused per channel"),
                              QStringLiteral("Verified robots' visits per engine"),
                              QStringLiteral("Google's indexed and not indexed pages")};
    for (int i = 0; i < 3; ++i) {
        QChartView* view = chart(i);
        QChart* old = view->chart();
        view->setChart(ChartOf(titles[i], *series[i], site.firstDay));
        delete old;
    }
}

void SitesWindow::ChooseSite(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= status_.sites.size()) {
        return;
    }
    chosen_ = status_.sites[static_cast<std::size_t>(row)].row.site;
    AskStatus();
}

void SitesWindow::AddLog(const QString& path) {
    Off<SiteLogChange>(
        [site = chosen_, path = path.toStdString()] { return GiveSiteLog(site, path); },
        [this](SiteLogChange change) {
            if (!change.failure.empty()) {
                Tell(QStringLiteral("The log was not given: %1").arg(Text(change.failure)));
            }
            AskStatus();
        });
}

void SitesWindow::RemoveLog(const QString& path) {
    Off<SiteLogChange>(
        [site = chosen_, path = path.toStdString()] { return TakeSiteLog(site, path); },
        [this](SiteLogChange change) {
            if (!change.failure.empty()) {
                Tell(Text(change.failure));
            }
            AskStatus();
        });
}

void SitesWindow::ReadLogs() {
    Off<LogsRead>([site = chosen_, routing = routing_,
                   stop = stop_.get_token()] { return ReadSiteLogs(site, routing, stop); },
                  [this](LogsRead read) {
                      QStringList lines;
                      if (!read.failure.empty()) {
                          lines << Text(read.failure);
                      }
                      for (const LogRead& log : read.logs) {
                          lines << Text(LogReadLine(log));
                      }
                      if (lines.isEmpty()) {
                          lines << QStringLiteral("No access log is given to this site.");
                      }
                      Tell(lines.join(QLatin1Char('\n')));
                      AskStatus();
                  });
}

void SitesWindow::ShowTimeline(const QString& page) {
    page_->setText(page);
    Off<PageTimeline>(
        [page = page.trimmed().toStdString()] { return TimelineOf(page); },
        [this](PageTimeline timeline) {
            timeline_->removeRows(0, timeline_->rowCount());
            if (!timeline.failure.empty()) {
                Tell(Text(timeline.failure));
            }
            static const QString kDone[] = {QStringLiteral("Sent through %1"),
                                            QStringLiteral("Fetched by %1"),
                                            QStringLiteral("Inspected by %1")};
            const std::size_t from =
                timeline.events.size() > kEventsShown ? timeline.events.size() - kEventsShown : 0;
            for (std::size_t i = from; i < timeline.events.size(); ++i) {
                const PageEvent& event = timeline.events[i];
                QList<QStandardItem*> row = {
                    new QStandardItem(Text(Moment(event.time))),
                    new QStandardItem(kDone[static_cast<int>(event.kind)].arg(Text(event.who))),
                    new QStandardItem(Text(event.what))};
                timeline_->appendRow(row);
            }
            if (timeline.events.empty()) {
                Tell(QStringLiteral("Nothing is known of this page."));
            }
        });
}

void SitesWindow::Tell(const QString& text) {
    notes_->setText(text);
}

QString SitesWindow::notes() const {
    return notes_->text();
}

QChartView* SitesWindow::chart(int index) const {
    return qobject_cast<QChartView*>(charts_->widget(index));
}

}  // namespace quaymark::ui
