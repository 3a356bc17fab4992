#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <ctime>

#include "app/profile.h"
#include "app/sites.h"
#include "ui/artwork.h"
#include "ui/byte_text.h"
#include "ui/channels_window.h"
#include "ui/desktop.h"
#include "ui/history_window.h"
#include "ui/import_windows.h"
#include "ui/info_windows.h"
#include "ui/off_ui_thread.h"
#include "ui/placement.h"
#include "ui/program_title.h"
#include "ui/results_windows.h"
#include "ui/sites_window.h"

namespace quaymark::ui {
namespace {

// The window's texts.
const QString kAboutMenuText = QStringLiteral("&About Quaymarker...");
const QString kNoEmailText =
    QStringLiteral("Please enter an email address. All search engines require this.");
const QString kBadEmailText =
    QStringLiteral("Please enter a valid email address, in the form you@example.com");
const QString kNoUrlsText = QStringLiteral("Enter at least 1 http:// address and click ADD.");
const QString kNoUrlsTitle = QStringLiteral("No URLs to Submit");
const QString kNoSchemeText = QStringLiteral("Enter a valid web address beginning with http://");
const QString kIncompleteText =
    QStringLiteral("Enter a complete web address such as http://www.example.com/");
const QString kInvalidUrlTitle = QStringLiteral("Invalid URL");
const QString kNothingSelectedText =
    QStringLiteral("Select a URL to send by highlighting it and then click SUBMIT again.");
const QString kNothingSelectedTitle = QStringLiteral("Nothing selected to submit");
const QString kChannelsMenuText = QStringLiteral("&Channels...");
const QString kNothingToSendText = QStringLiteral(
    "There is nothing to send through: every channel is off. Choose one with Channels... in "
    "the window's menu (Ctrl+N).");
const QString kImportMenuText = QStringLiteral("Import &Sitemap...");
const QString kHistoryMenuText = QStringLiteral("&History...");
const QString kSitesMenuText = QStringLiteral("Si&tes...");
const QString kAnnounceMenuText = QStringLiteral("A&nnounce Changes");

// Why Add refuses an address, or nothing when it takes it.
const QString* AddressProblem(const QString& address) {
    if (!address.contains(QStringLiteral("://"))) {
        return &kNoSchemeText;
    }
    if (address == QStringLiteral("http://")) {
        return &kIncompleteText;
    }
    return nullptr;
}

struct ToolTip {
    const char* control;
    const char* text;
};
constexpr ToolTip kToolTips[] = {
    {"url", "Enter a web page address in the form: http://www.example.com/index.html"},
    {"email", "Your Email Address, all search engines require this."},
    {"add", "Add this URL to the database of sites to submit to the engines."},
    {"remove", "Remove this URL from the database."},
    {"list",
     "This is the database list. Enter a web address in the space provided above and click ADD."},
    {"submit", "Submit the single URL currently selected in the database."},
    {"submitAll", "Begin submitting the database list to the search engines."},
};

}  // namespace

CSubmitDlg::CSubmitDlg(std::filesystem::path listFile, RunRouting routing, QWidget* parent)
    : QDialog(parent),
      listFile_(std::move(listFile)),
      runs_(std::move(routing), RunLockPath(listFile_)),
      history_(HistoryPath(listFile_)),
      controls_(BuildDialog(*this, kTemplateId)),
      urlEdit_(controls_.Get<QLineEdit>("url")),
      emailEdit_(controls_.Get<QLineEdit>("email")),
      list_(controls_.Get<QListView>("list")),
      entries_(new UrlListModel(this)),
      addButton_(controls_.Get<QPushButton>("add")),
      removeButton_(controls_.Get<QPushButton>("remove")),
      submitButton_(controls_.Get<QPushButton>("submit")) {
    CentreOnScreen(*this);
    connect(urlEdit_, &QLineEdit::textEdited, this, &CSubmitDlg::OnChangeUrl);
    connect(emailEdit_, &QLineEdit::textEdited, this, &CSubmitDlg::OnEditEmail);
    list_->setModel(entries_);
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CSubmitDlg::OnSelChangeList);
    connect(addButton_, &QPushButton::clicked, this, &CSubmitDlg::OnAdd);
    connect(removeButton_, &QPushButton::clicked, this, &CSubmitDlg::OnRemove);
    connect(submitButton_, &QPushButton::clicked, this, &CSubmitDlg::OnSubmit);
    connect(controls_.Get<QPushButton>("submitAll"), &QPushButton::clicked, this,
            &CSubmitDlg::OnOK);
    connect(controls_.Get<QPushButton>("quit"), &QPushButton::clicked, this, &CSubmitDlg::OnCancel);
    connect(controls_.Get<QPushButton>("help"), &QPushButton::clicked, this, &CSubmitDlg::OnHelp);
    connect(controls_.Get<QPushButton>("announce"), &QPushButton::clicked, this,
            &CSubmitDlg::OnAnnounceChanges);
    MakeMenuActions();
    OnInitDialog();
}

CSubmitDlg::~CSubmitDlg() = default;

void CSubmitDlg::OnInitDialog() {
    setWindowIcon(ApplicationIcon());

    m_pSplash = new CSplashDlg(this);
    m_pSplash->show();
    HideSplashLater(m_pSplash);

    addButton_->setEnabled(false);
    removeButton_->setEnabled(false);
    submitButton_->setEnabled(false);

    if (FileExists(listFile_)) {
        LoadList();
    }
    LoadChannels();
    OpenHistory();
    TellFailedDailyRun();

    for (const ToolTip& tip : kToolTips) {
        controls_.Get<QWidget>(tip.control)->setToolTip(QString::fromUtf8(tip.text));
    }
    ShowMembers();
    urlEdit_->setFocus();
}

void CSubmitDlg::AddEntry(const std::string& bytes) {
    entries_->Append(bytes);
}

void CSubmitDlg::TakeFields() {
    m_strUrl = urlEdit_->text();
    m_strEmail = FieldBytes(emailEdit_->text(), m_strEmail);
}

void CSubmitDlg::ShowMembers() {
    const ChangingControls changing(changingControls_);
    urlEdit_->setText(m_strUrl);
    emailEdit_->setText(DisplayText(m_strEmail));
}

// An e-mail address is one line of the list file: line breaks typed or pasted are dropped.
void CSubmitDlg::OnEditEmail() {
    auto* email = emailEdit_;
    QString text = email->text();
    if (!text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'))) {
        return;
    }
    const int cursor = email->cursorPosition();
    const int before = static_cast<int>(text.left(cursor).count(QLatin1Char('\n')) +
                                        text.left(cursor).count(QLatin1Char('\r')));
    text.remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
    email->setText(text);
    email->setCursorPosition(cursor - before);
}

const std::vector<std::string>& CSubmitDlg::Entries() const {
    return entries_->list().entries();
}

std::vector<std::string> CSubmitDlg::SelectedEntry() const {
    const QModelIndexList selected = list_->selectionModel()->selectedRows();
    if (selected.isEmpty()) {
        return {};
    }
    return {entries_->list().at(static_cast<std::size_t>(selected.front().row()))};
}

void CSubmitDlg::OnChangeUrl() {
    if (changingControls_) {
        return;
    }
    TakeFields();
    addButton_->setEnabled(!m_strUrl.isEmpty());
}

void CSubmitDlg::OnSelChangeList() {
    if (changingControls_) {
        return;
    }
    const bool selected = list_->selectionModel()->hasSelection();
    removeButton_->setEnabled(selected);
    submitButton_->setEnabled(selected);
}

// A text with line breaks (a pasted list) is one address a line: every non-empty line must
// pass the checks, or nothing is added.
void CSubmitDlg::OnAdd() {
    TakeFields();
    if (!m_strUrl.isEmpty()) {
        const QStringList addresses =
            m_strUrl.split(QRegularExpression(QStringLiteral("[\r\n]")), Qt::SkipEmptyParts);
        for (const QString& address : addresses) {
            if (const QString* problem = AddressProblem(address)) {
                ShowMessage(this, *problem, kInvalidUrlTitle);
                return;
            }
        }
        const ChangingControls changing(changingControls_);
        for (const QString& address : addresses) {
            AddEntry(address.toStdString());
        }
        m_strUrl.clear();
    }
    ShowMembers();
}

void CSubmitDlg::OnRemove() {
    const QModelIndexList selected = list_->selectionModel()->selectedRows();
    if (selected.isEmpty()) {
        return;
    }
    const ChangingControls changing(changingControls_);
    entries_->RemoveRow(selected.front().row());
    list_->clearSelection();
    list_->selectionModel()->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
}

// Some channel is on: the classic pages, IndexNow with a key, or Google with its key.
bool CSubmitDlg::HasChannel() {
    if (AnyChannelOn(runs_.channels())) {
        return true;
    }
    ShowMessage(this, kNothingToSendText, kProgramTitle);
    return false;
}

void CSubmitDlg::OnOK() {
    TakeFields();
    if (!HasChannel()) {
        return;
    }
    // The e-mail address is what the classic pages ask for; the modern channels need none.
    if (runs_.channels().settings.classic && m_strEmail.empty()) {
        ShowMessage(this, kNoEmailText, kProgramTitle);
        return;
    }
    if (runs_.channels().settings.classic && m_strEmail.find('@') == std::string::npos) {
        ShowMessage(this, kBadEmailText, kProgramTitle);
        return;
    }
    if (entries_->rowCount() == 0) {
        ShowMessage(this, kNoUrlsText, kNoUrlsTitle);
        return;
    }
    RunAndShowResults(Entries());
}

void CSubmitDlg::OnSubmit() {
    TakeFields();
    if (!HasChannel()) {
        return;
    }
    const std::vector<std::string> selected = SelectedEntry();
    if (selected.empty()) {
        ShowMessage(this, kNothingSelectedText, kNothingSelectedTitle);
        return;
    }
    RunAndShowResults(selected);
}

void CSubmitDlg::RunAndShowResults(const std::vector<std::string>& entries) {
    runs_.SetHistory(history_.Writer());
    std::optional<RunResult> run = runs_.SubmitList(entries, m_strEmail, this);
    if (!run || quitAfterRun_) {
        return;  // no run was made; or the program ends from the event loop, see RequestQuit
    }
    RunResult& result = *run;
    // What else the run has to say (an IndexNow key still being checked) comes first.
    if (!result.notes.empty()) {
        QStringList notes;
        for (const std::string& note : result.notes) {
            notes << DisplayText(note);
        }
        ShowMessage(this, notes.join(QLatin1Char('\n')), kProgramTitle);
    }
    if (result.failed) {
        CFailedDlg results(std::move(result), runs_, this);
        results.exec();
    } else {
        CDoneDlg results(this);
        results.exec();
    }
}

void CSubmitDlg::OnImportSitemap() {
    CImportDlg ask(this);
    if (ask.exec() != QDialog::Accepted) {
        return;
    }
    const std::string address = ask.address();
    SitemapImport import;
    {
        CImportProgressDlg progress(this);
        std::stop_source stop;
        SitemapImporter importer(runs_.routing(), progress, {}, stop.get_token());
        connect(&progress, &CImportProgressDlg::cancelRequested, &progress,
                [&stop] { stop.request_stop(); });
        importing_ = &stop;
        progress.show();
        RunOffUiThread([&] { import = importer.Import(address); });
        importing_ = nullptr;
    }
    if (quitAfterRun_) {
        QTimer::singleShot(0, this, [this] { OnCancel(); });
        return;
    }
    // The site remembers the sitemaps read whole and their pages, whatever the list takes.
    HistoryWriter* history = import.read.empty() ? nullptr : history_.Writer();
    if (history != nullptr) {
        history->RememberSitemaps(SitemapsToRemember(import, std::time(nullptr)),
                                  SitemapPagesOf(import));
    }
    AddImported(std::move(import));
}

// The new pages go at the end of the list; their last changes go to the history.
void CSubmitDlg::AddImported(SitemapImport import) {
    MergeImport(this, std::move(import), Entries(),
                {.add =
                     [this](const std::string& url) {
                         if (AddressProblem(QString::fromStdString(url)) != nullptr) {
                             return false;
                         }
                         const ChangingControls changing(changingControls_);
                         AddEntry(url);
                         return true;
                     },
                 .keepLastmods =
                     [this](std::vector<std::pair<std::string, std::int64_t>> lastmods) {
                         if (HistoryWriter* history = history_.Writer()) {
                             history->SetLastmods(std::move(lastmods));
                         }
                     }});
}

// The history is read off the UI thread; the window opens once it is, unless one is already
// on its way.
void CSubmitDlg::OnHistory() {
    if (historyAsked_ || !history_.Available()) {
        return;
    }
    historyAsked_ = true;
    history_.ReadContents(this, Entries(), [this](HistoryTable table, HistoryContents contents) {
        historyAsked_ = false;
        if (!ended_) {
            CHistoryDlg window(std::move(table), contents, this);
            connect(&window, &CHistoryDlg::sitesAsked, this, &CSubmitDlg::OnSites);
            window.exec();
            RemovePagesNoLongerInASitemap(window.pagesToRemove());
        }
    });
}

// Every site at a glance, read off the UI thread by the window itself.
void CSubmitDlg::OnSites() {
    if (ended_) {
        return;
    }
    SitesWindow window(runs_.routing(), this);
    window.exec();
}

void CSubmitDlg::OnCancel() {
    if (ended_) {
        return;
    }
    ended_ = true;
    TakeFields();
    // The history finishes first: after a full disk it gives back its room to the list.
    history_.Finish();
    SaveList();
    // Whatever stands open over the window closes with it, so that every modal loop ends.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(window);
        if (dialog != nullptr && dialog != this && dialog->isVisible()) {
            dialog->done(QDialog::Rejected);
        }
    }
    done(QDialog::Rejected);
}

void CSubmitDlg::RequestQuit() {
    if (ended_ || quitAfterRun_) {
        return;
    }
    if (runs_.UnderWay()) {
        quitAfterRun_ = true;
        runs_.CallWhenRunEnds(this, [this] { OnCancel(); });
        runs_.Cancel();
        return;
    }
    if (importing_ != nullptr) {
        quitAfterRun_ = true;  // the import's end closes the window
        importing_->request_stop();
        return;
    }
    OnCancel();
}

void CSubmitDlg::OnHelp() {
    CHelpDlg help(this);
    help.exec();
}

void CSubmitDlg::OnSysCommand(int command) {
    if ((command & 0xFFF0) == kAboutCommand) {
        CAboutDlg about(this);
        about.exec();
    }
}

void CSubmitDlg::accept() {
    OnOK();
}

void CSubmitDlg::reject() {
    if (runs_.UnderWay() || importing_ != nullptr) {
        return;
    }
    OnCancel();
}

// The window's own commands, each with a shortcut that works anywhere in the window and is
// shown in its menu; Ctrl with letters no field of the window takes for itself.
void CSubmitDlg::MakeMenuActions() {
    const auto add = [this](const QString& text, const QKeySequence& keys, auto handler) {
        auto* action = new QAction(text, this);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, handler);
        addAction(action);
        return action;
    };
    add(kChannelsMenuText, QKeySequence(Qt::CTRL | Qt::Key_N), &CSubmitDlg::OnChannels);
    add(kImportMenuText, QKeySequence(Qt::CTRL | Qt::Key_I), &CSubmitDlg::OnImportSitemap);
    add(kAnnounceMenuText, QKeySequence(Qt::CTRL | Qt::Key_R), &CSubmitDlg::OnAnnounceChanges);
    historyAction_ =
        add(kHistoryMenuText, QKeySequence(Qt::CTRL | Qt::Key_H), &CSubmitDlg::OnHistory);
    add(kSitesMenuText, QKeySequence(Qt::CTRL | Qt::Key_T), &CSubmitDlg::OnSites);
    add(kAboutMenuText, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A),
        [this] { OnSysCommand(kAboutCommand); });
}

// Shift+F10 asks for the focused control's menu, as the Menu key does: a text field opens its
// own, any other control passes it on to the window's.
void CSubmitDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        QWidget* target = focusWidget() != nullptr ? focusWidget() : this;
        const QPoint at = target->rect().center();
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, at, target->mapToGlobal(at));
        QApplication::sendEvent(target, &menu);
        return;
    }
    QDialog::keyPressEvent(event);
}

// The menu opens on a click outside the controls, and from the keyboard (the Menu key,
// Shift+F10) wherever a text field does not open its own.
void CSubmitDlg::contextMenuEvent(QContextMenuEvent* event) {
    const QWidget* under = childAt(event->pos());
    if (event->reason() != QContextMenuEvent::Keyboard && under != nullptr &&
        under->focusPolicy() != Qt::NoFocus) {
        return;
    }
    historyAction_->setEnabled(history_.Available());
    QMenu menu(this);
    menu.addActions(actions());
    menu.exec(event->globalPos());
}

}  // namespace quaymark::ui
