#pragma once

#include <QDialog>
#include <QString>
#include <filesystem>
#include <string>
#include <vector>

#include "app/session.h"
#include "app/sites.h"
#include "ui/dialog_template.h"
#include "ui/history_keeper.h"
#include "ui/run_starter.h"
#include "ui/url_list_model.h"

class QAction;
class QLineEdit;
class QListView;
class QPushButton;

namespace quaymark::ui {

class CSplashDlg;

// The main window: the address list and the e-mail address, kept in the URL list file
// between runs, and the commands that submit them; it shows each run's result.
//
// The windows keep the names of the program's original design, so that each can be traced to
// it: C<name>Dlg for a window, m_ and a type letter for the members it named (m_strUrl,
// m_strEmail, m_pSplash), On<what> for a handler. Here OnOK is Submit All (and Enter),
// OnSubmit sends the selected address, OnCancel is Quit (and closing the window, once no run
// is under way), OnAdd and OnRemove edit the list, OnChangeUrl and OnSelChangeList follow the
// fields, OnHelp opens Help and OnSysCommand the About box.
class CSubmitDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 102;
    static constexpr int kAboutCommand = 16;

    // The list file is loaded now and saved when the window is closed. The routing is where
    // the runs' requests go: the engines themselves unless a test or benchmark says otherwise.
    explicit CSubmitDlg(std::filesystem::path listFile, RunRouting routing = {},
                        QWidget* parent = nullptr);
    ~CSubmitDlg() override;

    void OnChangeUrl();
    void OnSelChangeList();
    void OnAdd();
    void OnRemove();
    void OnOK();
    void OnSubmit();
    void OnCancel();
    void OnHelp();
    void OnSysCommand(int command);
    void OnChannels();
    void OnImportSitemap();
    void OnHistory();
    void OnSites();
    void OnAnnounceChanges();

    // Closes the program as Quit does, for a request from outside (a signal, the end of the
    // desktop session): a run under way is cancelled and awaited first.
    void RequestQuit();

    const DialogControls& controls() const { return controls_; }
    RunStarter& runs() { return runs_; }
    HistoryKeeper& history() { return history_; }
    CSplashDlg* splash() const { return m_pSplash; }
    const std::vector<std::string>& Entries() const;

    QString m_strUrl;
    std::string m_strEmail;

protected:
    void accept() override;
    void reject() override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Holds the window's own control changes away from its change handlers.
    class ChangingControls {
    public:
        explicit ChangingControls(bool& flag) : flag_(flag), previous_(flag) { flag_ = true; }
        ~ChangingControls() { flag_ = previous_; }

    private:
        bool& flag_;
        bool previous_;
    };

    void OnInitDialog();
    bool HasChannel();
    void TakeFields();
    void ShowMembers();
    void RunAndShowResults(const std::vector<std::string>& entries);
    void LoadList();
    void SaveList();
    void AddEntry(const std::string& bytes);
    std::vector<std::string> SelectedEntry() const;
    void OnEditEmail();
    void LoadChannels();
    void OpenHistory();
    void MakeMenuActions();
    void AddImported(SitemapImport import);
    // Adds the pages the list lacks at its end; returns how many.
    std::size_t AddPages(const std::vector<std::string>& pages);
    void RemovePagesNoLongerInASitemap(const std::vector<std::string>& pages);
    void TellFailedDailyRun();

    std::filesystem::path listFile_;
    RunStarter runs_;
    // The list file was there at start but could not be read: it is never replaced, and the
    // list goes to a new file beside it instead.
    bool listUnreadable_ = false;
    // A channel settings file that could not be read is never replaced.
    bool channelsUnreadable_ = false;
    HistoryKeeper history_;
    // The History window waits for the history to be read.
    bool historyAsked_ = false;
    // The import under way, while OnImportSitemap waits for it.
    std::stop_source* importing_ = nullptr;
    // The list has been saved and the window is closing: nothing is saved again.
    bool ended_ = false;
    DialogControls controls_;
    QLineEdit* urlEdit_;
    QLineEdit* emailEdit_;
    QListView* list_;
    UrlListModel* entries_;
    QPushButton* addButton_;
    QPushButton* removeButton_;
    QPushButton* submitButton_;
    QAction* historyAction_ = nullptr;
    CSplashDlg* m_pSplash = nullptr;
    // Set while the window changes its own controls, whose notifications it then ignores.
    bool changingControls_ = false;
    // The user closed the window while a run or an import was under way: end once it has
    // stopped.
    bool quitAfterRun_ = false;
};

}  // namespace quaymark::ui
