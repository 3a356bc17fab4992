#include "ui/main_window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <sqlite3.h>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include "engine/sitemap/sitemap_import.h"
#include "storage/history.h"
#include "storage/indexnow_settings.h"
#include "storage/program_paths.h"
#include "storage/url_list_file.h"
#include "tests/support/fake_engine_server.h"
#include "tests/support/fake_google.h"
#include "tests/support/loopback_server.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/desktop_recorder.h"
#include "tests/ui/modal_driver.h"
#include "tests/ui/scoped_page_dir.h"
#include "ui/channels_window.h"
#include "ui/import_windows.h"
#include "ui/info_windows.h"
#include "ui/results_windows.h"
#include "ui/run_starter.h"

namespace quaymark::ui {
namespace {

using quaymark::testing::EngineRequest;
using quaymark::testing::ReadFileBytes;
using ::testing::ElementsAre;

void Later(std::function<void()> action) {
    QTimer::singleShot(0, std::move(action));
}

class MainWindowTest : public ::testing::Test {
protected:
    // Opens the window over the list file as it stands.
    CSubmitDlg& Open() {
        window_ = std::make_unique<CSubmitDlg>(listFile_, Routing());
        window_->show();
        window_->splash()->hide();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        return *window_;
    }

    RunRouting Routing() const { return {server_.Routes(), {}, {}}; }

    template <typename T>
    T* Control(const char* name) const {
        return window_->controls().Get<T>(name);
    }
    QLineEdit* Url() const { return Control<QLineEdit>("url"); }
    QLineEdit* Email() const { return Control<QLineEdit>("email"); }
    QListView* List() const { return Control<QListView>("list"); }
    int Rows() const { return List()->model()->rowCount(); }
    QModelIndex Row(int row) const { return List()->model()->index(row, 0); }
    QString Text(int row) const { return Row(row).data().toString(); }
    QPushButton* Button(const char* name) const { return Control<QPushButton>(name); }

    QStringList ListEntries() const {
        QStringList entries;
        for (int i = 0; i < Rows(); ++i) {
            entries << Text(i);
        }
        return entries;
    }

    void TypeAndAdd(const QString& text) {
        Url()->clear();
        QTest::keyClicks(Url(), text);
        QTest::mouseClick(Button("add"), Qt::LeftButton);
    }

    quaymark::testing::ScopedPageDir dir_;
    std::filesystem::path listFile_ = dir_.path() / "data" / "quaysites.dat";
    quaymark::testing::FakeEngineServer server_;
    testing::DesktopRecorder desktop_;
    std::unique_ptr<CSubmitDlg> window_;
};

TEST_F(MainWindowTest, OpensWithItsTemplateButtonsOffAndTheStoredList) {
    SaveUrlList(listFile_, {"http://a.example/", "http://b.example/"}, "me@example.com");
    CSubmitDlg& window = Open();
    EXPECT_EQ(window.windowTitle(), "Quaymark!");
    EXPECT_THAT(ListEntries(), ElementsAre("http://a.example/", "http://b.example/"));
    EXPECT_EQ(Email()->text(), "me@example.com");
    EXPECT_EQ(Url()->text(), "");
    EXPECT_FALSE(Button("add")->isEnabled());
    EXPECT_FALSE(Button("remove")->isEnabled());
    EXPECT_FALSE(Button("submit")->isEnabled());
    EXPECT_TRUE(Button("submitAll")->isEnabled());
    EXPECT_TRUE(Button("add")->isDefault());
    EXPECT_EQ(Button("submitAll")->text(), "Submit &All");
    EXPECT_EQ(Url()->toolTip(),
              "Enter a web page address in the form: http://www.example.com/index.html");
    EXPECT_EQ(Button("submitAll")->toolTip(),
              "Begin submitting the database list to the search engines.");
    EXPECT_TRUE(Button("quit")->toolTip().isEmpty());
}

TEST_F(MainWindowTest, OpensCentredOnTheScreenWithTheSplashOverIt) {
    window_ = std::make_unique<CSubmitDlg>(listFile_, Routing());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_->splash()));
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    const QPoint centre = window_->screen()->availableGeometry().center();
    EXPECT_LE((window_->frameGeometry().center() - centre).manhattanLength(), 2);
    EXPECT_LE((window_->splash()->frameGeometry().center() - centre).manhattanLength(), 2);
}

TEST_F(MainWindowTest, AddChecksTheAddressAndKeepsWhatItRefuses) {
    Open();
    TypeAndAdd("www.example.com");
    ASSERT_EQ(desktop_.messages.size(), 1u);
    EXPECT_EQ(desktop_.messages[0].text, "Enter a valid web address beginning with http://");
    EXPECT_EQ(desktop_.messages[0].title, "Invalid URL");
    EXPECT_EQ(desktop_.messages[0].owner, window_.get());
    EXPECT_EQ(Url()->text(), "www.example.com");

    TypeAndAdd("http://");
    ASSERT_EQ(desktop_.messages.size(), 2u);
    EXPECT_EQ(desktop_.messages[1].text,
              "Enter a complete web address such as http://www.example.com/");
    EXPECT_EQ(desktop_.messages[1].title, "Invalid URL");

    for (const char* accepted :
         {"HTTP://", "http:// ", "ftp://files.example/", "http://twice/", "http://twice/"}) {
        TypeAndAdd(accepted);
    }
    EXPECT_EQ(desktop_.messages.size(), 2u);
    EXPECT_THAT(ListEntries(), ElementsAre("HTTP://", "http:// ", "ftp://files.example/",
                                           "http://twice/", "http://twice/"));
    EXPECT_EQ(Url()->text(), "");
    EXPECT_TRUE(Button("add")->isEnabled()) << "the window's own emptying is no edit";
    QTest::mouseClick(Button("add"), Qt::LeftButton);
    EXPECT_EQ(Rows(), 5) << "Add with an empty field changes nothing";
    EXPECT_EQ(desktop_.messages.size(), 2u);
}

TEST_F(MainWindowTest, EnterClicksAddWhileItIsEnabled) {
    Open();
    QTest::keyClicks(Url(), "http://enter.example/");
    QTest::keyClick(Url(), Qt::Key_Return);
    EXPECT_THAT(ListEntries(), ElementsAre("http://enter.example/"));

    QTest::keyClicks(Url(), "http://from-email.example/");
    QTest::keyClick(Email(), Qt::Key_Return);
    QTest::keyClicks(Url(), "http://from-list.example/");
    QTest::keyClick(List(), Qt::Key_Return);
    EXPECT_EQ(Rows(), 3);

    window_ = nullptr;
    Open();
    Url()->setText("http://typed-by-program.example/");
    QTest::keyClick(Url(), Qt::Key_Return);
    EXPECT_EQ(Rows(), 0) << "Add is disabled: Enter does nothing";
}

TEST_F(MainWindowTest, SubmitAllChecksTheEmailFirstAndTheListLast) {
    Open();
    Button("submitAll")->click();
    QTest::keyClicks(Email(), "   ");
    Button("submitAll")->click();
    Email()->clear();
    QTest::keyClicks(Email(), "@");
    Button("submitAll")->click();
    ASSERT_EQ(desktop_.messages.size(), 3u);
    EXPECT_EQ(desktop_.messages[0].text,
              "Please enter an email address. All search engines require this.");
    EXPECT_EQ(desktop_.messages[0].title, "Quaymark!");
    EXPECT_EQ(desktop_.messages[1].text,
              "Please enter a valid email address, in the form you@example.com");
    EXPECT_EQ(desktop_.messages[1].title, "Quaymark!");
    EXPECT_EQ(desktop_.messages[2].text, "Enter at least 1 http:// address and click ADD.");
    EXPECT_EQ(desktop_.messages[2].title, "No URLs to Submit");
    EXPECT_TRUE(server_.requests().empty());
}

// With every channel off, nothing is sent and no e-mail address is asked for.
TEST_F(MainWindowTest, WithEveryChannelOffSubmitAllSendsNothing) {
    const std::filesystem::path settings = IndexNowSettingsPath();
    ASSERT_TRUE(SaveIndexNowSettings(settings, {.classic = false}));
    SaveUrlList(listFile_, {"http://a.example/"}, "");
    Open();
    Button("submitAll")->click();
    std::filesystem::remove(settings);
    ASSERT_EQ(desktop_.messages.size(), 1u);
    EXPECT_THAT(desktop_.messages[0].text.toStdString(),
                ::testing::StartsWith("There is nothing to send through"));
    EXPECT_TRUE(server_.requests().empty());
}

TEST_F(MainWindowTest, SubmitNeedsASelectionAndRemoveLeavesItsButtonsOn) {
    Open();
    Button("submit")->setEnabled(true);
    Button("submit")->click();
    ASSERT_EQ(desktop_.messages.size(), 1u);
    EXPECT_EQ(desktop_.messages[0].text,
              "Select a URL to send by highlighting it and then click SUBMIT again.");
    EXPECT_EQ(desktop_.messages[0].title, "Nothing selected to submit");

    TypeAndAdd("http://a.example/");
    TypeAndAdd("http://b.example/");
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, List()->visualRect(Row(0)).center());
    EXPECT_TRUE(Button("remove")->isEnabled());
    EXPECT_TRUE(Button("submit")->isEnabled());
    QTest::mouseClick(Button("remove"), Qt::LeftButton);
    EXPECT_THAT(ListEntries(), ElementsAre("http://b.example/"));
    EXPECT_FALSE(List()->selectionModel()->hasSelection());
    EXPECT_TRUE(Button("remove")->isEnabled());
    EXPECT_TRUE(Button("submit")->isEnabled());
    QTest::mouseClick(Button("remove"), Qt::LeftButton);
    EXPECT_EQ(Rows(), 1) << "nothing selected: Remove does nothing";
    QTest::mouseClick(Button("submit"), Qt::LeftButton);
    EXPECT_EQ(desktop_.messages.back().title, "Nothing selected to submit");
}

TEST_F(MainWindowTest, ClickBelowTheEntriesKeepsTheSelectionAndScrollBarsShowWhenNeeded) {
    SaveUrlList(listFile_, {"http://a.example/", "http://b.example/"}, "");
    Open();
    QApplication::processEvents();  // the list lays itself out
    EXPECT_FALSE(List()->verticalScrollBar()->isVisible());
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, List()->visualRect(Row(0)).center());
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {},
                      QPoint(5, List()->viewport()->height() - 3));
    EXPECT_TRUE(List()->selectionModel()->isRowSelected(0));
    EXPECT_TRUE(Button("submit")->isEnabled());
    for (int i = 0; i < 20; ++i) {
        TypeAndAdd("http://more.example/" + QString::number(i));
    }
    EXPECT_TRUE(QTest::qWaitFor([this] { return List()->verticalScrollBar()->isVisible(); }));
}

TEST_F(MainWindowTest, SubmitSendsTheSelectedEntryEvenWithoutEmail) {
    SaveUrlList(listFile_, {"http://a.example/", "http://b.example/"}, "");
    Open();
    List()->setCurrentIndex(Row(1));
    testing::ModalDriver driver;
    driver.Then<CDoneDlg>([](CDoneDlg* done) { Later([done] { done->accept(); }); });
    Button("submit")->click();
    EXPECT_TRUE(driver.done());
    ASSERT_EQ(server_.requests().size(), 7u);
    EXPECT_EQ(server_.requests()[0].target,
              "/info/add_url/thanks/?url=http://b.example/&email=&country=US&brand=webcrawler");
}

// A key kept while Google is off is shown when the Channels window opens, so ticking Google
// needs no new one.
TEST_F(MainWindowTest, TheChannelsWindowShowsAKeptKeyWhileGoogleIsOff) {
    const quaymark::testing::FakeGoogle google;
    ASSERT_TRUE(SaveServiceKeyFile(GoogleKeyPath(), google.KeyFile()));
    Open();
    std::string shown;
    testing::ModalDriver driver;
    driver.Then<CChannelsDlg>([&](CChannelsDlg* channels) {
        shown = channels->controls().Get<QLabel>("googleAccount")->text().toStdString();
        Later([channels] { channels->reject(); });
    });
    window_->OnChannels();
    EXPECT_TRUE(driver.done());
    EXPECT_EQ(shown, std::string("Key of ") + quaymark::testing::FakeGoogle::kAccount);
    std::filesystem::remove(GoogleKeyPath());
}

TEST_F(MainWindowTest, CancelledRunShowsTheAllSubmittedWindow) {
    SaveUrlList(listFile_, {"http://a.example/", "http://b.example/"}, "me@example.com");
    Open();
    server_.SetPages([this](const EngineRequest&) {
        QMetaObject::invokeMethod(
            window_.get(), [this] { window_->runs().Cancel(); }, Qt::BlockingQueuedConnection);
        return quaymark::testing::AcceptedPage();
    });
    testing::ModalDriver driver;
    driver.Then<CDoneDlg>([](CDoneDlg* done) { Later([done] { done->accept(); }); });
    Button("submitAll")->click();
    EXPECT_TRUE(driver.done());
    EXPECT_EQ(server_.requests().size(), 1u);
}

TEST_F(MainWindowTest, QuitEscAndTheCloseBoxAllSaveTheList) {
    const std::string expected = "http://kept.example/\r\nEOS\r\nme@example.com\r\n";
    for (const auto& close : std::vector<std::function<void()>>{
             [this] { QTest::mouseClick(Button("quit"), Qt::LeftButton); },
             [this] { QTest::keyClick(window_.get(), Qt::Key_Escape); },
             [this] { window_->close(); }}) {
        std::filesystem::remove(listFile_);
        Open();
        TypeAndAdd("http://kept.example/");
        QTest::keyClicks(Url(), "http://typed-not-added.example/");
        QTest::keyClicks(Email(), "me@example.com");
        close();
        EXPECT_FALSE(window_->isVisible());
        EXPECT_EQ(window_->result(), QDialog::Rejected);
        EXPECT_EQ(ReadFileBytes(listFile_), expected);
    }
}

TEST_F(MainWindowTest, QuitRequestDuringARunCancelsItThenSavesAndEnds) {
    SaveUrlList(listFile_, {"http://a.example/", "http://b.example/"}, "me@example.com");
    Open();
    server_.SetPages([this](const EngineRequest& request) {
        if (request.host == "www.lycos.com") {
            QMetaObject::invokeMethod(
                window_.get(), [this] { window_->RequestQuit(); }, Qt::BlockingQueuedConnection);
        }
        return quaymark::testing::AcceptedPage();
    });
    Button("submitAll")->click();
    EXPECT_EQ(server_.requests().size(), 3u) << "the request in flight ends, nothing more is sent";
    EXPECT_TRUE(QTest::qWaitFor([this] { return !window_->isVisible(); }));
    EXPECT_EQ(ReadFileBytes(listFile_),
              "http://a.example/\r\nhttp://b.example/\r\nEOS\r\nme@example.com\r\n");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "no results window";
}

// A run is over when its last request is judged, whatever the history is waiting for; Submit
// All pressed meanwhile makes no run and shows no result.
TEST_F(MainWindowTest, ARunEndsWithoutWaitingForTheHistoryAndARefusedOneShowsNothing) {
    SaveUrlList(listFile_, {"http://a.example/"}, "me@example.com");
    ASSERT_TRUE(History::Open(listFile_.parent_path() / "history.sqlite").history);
    Open();
    sqlite3* locker = nullptr;
    ASSERT_EQ(sqlite3_open((listFile_.parent_path() / "history.sqlite").c_str(), &locker),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(locker, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    server_.SetPages([this](const EngineRequest& request) {
        if (request.host == "www.lycos.com") {
            QMetaObject::invokeMethod(
                window_.get(), [this] { window_->OnOK(); }, Qt::BlockingQueuedConnection);
        }
        return quaymark::testing::AcceptedPage();
    });
    testing::ModalDriver driver;
    driver.Then<CDoneDlg>([](CDoneDlg* done) { Later([done] { done->accept(); }); });
    Button("submitAll")->click();
    EXPECT_TRUE(driver.done()) << "one result, of the one run";
    EXPECT_EQ(server_.requests().size(), 7u);
    EXPECT_THAT(desktop_.messages, ::testing::IsEmpty());
    sqlite3_exec(locker, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(locker);
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    History::Opened history = History::Open(listFile_.parent_path() / "history.sqlite");
    ASSERT_TRUE(history.history);
    EXPECT_EQ(history.history->Summaries("IndexNow").at("http://a.example/").lastAccepted.size(),
              7u)
        << "the rows were written at the end";
}

TEST_F(MainWindowTest, StoredBytesComeBackUnchangedWhateverTheDisplayShows) {
    const std::string stored =
        "http://caf\xe9.example/\xff\r\nhttp://\xc3\xa9t\xc3\xa9/\r\n"
        "EOS\r\nm\xe9@example.com\r\n";
    std::filesystem::create_directories(listFile_.parent_path());
    quaymark::testing::WriteFileBytes(listFile_, stored);
    Open();
    EXPECT_THAT(ListEntries(), ElementsAre(QString::fromUtf8("http://caf\u00e9.example/\u00ff"),
                                           QString::fromUtf8("http://\u00e9t\u00e9/")));
    EXPECT_EQ(Email()->text(), QString::fromUtf8("m\u00e9@example.com"));
    List()->setCurrentIndex(Row(0));
    testing::ModalDriver driver;
    driver.Then<CDoneDlg>([](CDoneDlg* done) { Later([done] { done->accept(); }); });
    Button("submit")->click();
    ASSERT_EQ(server_.requests().size(), 7u);
    EXPECT_NE(server_.requests()[0].target.find("caf%E9.example/%FF"), std::string::npos)
        << server_.requests()[0].target;
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    EXPECT_EQ(ReadFileBytes(listFile_), stored);
}

TEST_F(MainWindowTest, PastedLinesAreAddressesOfTheirOwnAndNeverEnterTheEmail) {
    Open();
    const QString longAddress = "http://long.example/" + QString(40000, QLatin1Char('x'));
    QApplication::clipboard()->setText("http://a/\nEOS\nx@evil.example\nhttp://b/");
    Url()->paste();
    QTest::mouseClick(Button("add"), Qt::LeftButton);
    EXPECT_EQ(desktop_.messages.size(), 1u) << "one line fails the check: nothing is added";
    EXPECT_EQ(Rows(), 0);

    Url()->clear();
    QApplication::clipboard()->setText("http://a/\r\n\r\n" + longAddress + "\nhttp://b/\n");
    Url()->paste();
    QTest::mouseClick(Button("add"), Qt::LeftButton);
    EXPECT_THAT(ListEntries(), ElementsAre("http://a/", longAddress, "http://b/"));

    const QString longEmail = QString(40000, QLatin1Char('m')) + "@example.com";
    QApplication::clipboard()->setText("me@\r\nexample.com\n" + longEmail);
    Email()->paste();
    EXPECT_EQ(Email()->text(), "me@example.com" + longEmail);
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    EXPECT_EQ(ReadFileBytes(listFile_), "http://a/\r\n" + longAddress.toStdString() +
                                            "\r\nhttp://b/\r\nEOS\r\nme@example.com" +
                                            longEmail.toStdString() + "\r\n");
}

TEST_F(MainWindowTest, UnreadableListIsToldKeptAndTheListSavedBesideIt) {
    std::filesystem::create_directories(listFile_);  // no permission bits root could ignore
    Open();
    ASSERT_EQ(desktop_.messages.size(), 1u);
    EXPECT_TRUE(desktop_.messages[0].text.contains(QString::fromStdString(listFile_.string())));
    EXPECT_TRUE(desktop_.messages[0].text.contains("Is a directory"));
    EXPECT_EQ(Rows(), 0);
    TypeAndAdd("http://new.example/");
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    EXPECT_TRUE(std::filesystem::is_directory(listFile_));
    std::vector<std::filesystem::path> rescued;
    for (const auto& entry : std::filesystem::directory_iterator(listFile_.parent_path())) {
        if (entry.path() != listFile_) {
            rescued.push_back(entry.path());
        }
    }
    ASSERT_EQ(rescued.size(), 1u);
    EXPECT_THAT(rescued[0].filename().string(), ::testing::MatchesRegex("quaysites-[0-9-]+\\.dat"));
    EXPECT_EQ(ReadFileBytes(rescued[0]), "http://new.example/\r\nEOS\r\n\r\n");
    ASSERT_EQ(desktop_.messages.size(), 2u);
    EXPECT_TRUE(desktop_.messages[1].text.contains(QString::fromStdString(rescued[0].string())));
}

TEST_F(MainWindowTest, FailedSaveOffersRetryAndDiscardAndNeverClosesSilently) {
    std::filesystem::create_directories(listFile_.parent_path().parent_path());
    quaymark::testing::WriteFileBytes(listFile_.parent_path(), "a file where the folder goes");
    Open();
    TypeAndAdd("http://kept.example/");
    std::vector<QString> asked;
    bool discard = false;
    SetRetryHandler([&](const MessageRequest& request) {
        asked.push_back(request.text);
        if (asked.size() == 2) {
            std::filesystem::remove(listFile_.parent_path());  // the user made room
        }
        return !discard;
    });
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    ASSERT_EQ(asked.size(), 2u) << "Retry once in vain, then with success";
    EXPECT_EQ(asked[0].toStdString(),
              "Your list could not be saved to " + listFile_.string() + ": Not a directory.");
    EXPECT_FALSE(window_->isVisible());
    EXPECT_EQ(ReadFileBytes(listFile_), "http://kept.example/\r\nEOS\r\n\r\n");

    window_ = nullptr;
    Open();
    std::filesystem::remove_all(listFile_.parent_path());
    quaymark::testing::WriteFileBytes(listFile_.parent_path(), "again in the way");
    discard = true;
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    EXPECT_EQ(asked.size(), 3u);
    EXPECT_FALSE(window_->isVisible()) << "Discard closes without saving";
    SetRetryHandler({});
}

// An import adds the sitemap's new pages at the end of the list and keeps their last
// changes; one that failed part-way adds nothing unless the user says so.
TEST_F(MainWindowTest, ImportAddsTheNewPagesAndAsksBeforeKeepingPartOfAFailedOne) {
    quaymark::testing::LoopbackServer<httplib::Server> site;
    const auto serve = [&](const std::string& path, std::string body) {
        site->Get(path, [body](const httplib::Request&, httplib::Response& response) {
            response.set_content(body, "text/xml");
        });
    };
    serve("/robots.txt", "Sitemap: http://site.test/sitemap.xml\n");
    serve("/sitemap.xml",
          "<urlset><url><loc>http://site.test/old</loc></url>"
          "<url><loc>http://site.test/new</loc><lastmod>2026-12-01</lastmod></url>"
          "<url><loc>http://site.test/newer</loc></url></urlset>");
    serve("/broken.xml", "<urlset><url><loc>http://site.test/part</loc></url><url>");
    SaveUrlList(listFile_, {"http://site.test/old"}, "me@example.com");
    window_ = std::make_unique<CSubmitDlg>(listFile_,
                                           RunRouting{{{"site.test:80", site.port()}}, {}, {}});
    window_->show();
    window_->splash()->hide();
    const auto importFrom = [&](const char* address) {
        testing::ModalDriver driver;
        driver.Then<CImportDlg>([address](CImportDlg* ask) {
            ask->controls().Get<QLineEdit>("address")->setText(address);
            QTest::mouseClick(ask->controls().Get<QPushButton>("ok"), Qt::LeftButton);
        });
        window_->OnImportSitemap();
        EXPECT_TRUE(driver.done());
    };

    importFrom("http://site.test/");
    EXPECT_THAT(ListEntries(), ElementsAre("http://site.test/old", "http://site.test/new",
                                           "http://site.test/newer"));
    ASSERT_EQ(desktop_.messages.size(), 1u);
    EXPECT_EQ(desktop_.messages[0].text,
              "3 addresses found in the sitemaps, 2 of them new: the "
              "new ones were added at the end of the list.");
    window_->history().Writer()->Flush();
    History::Opened history = History::Open(dir_.path() / "data" / "history.sqlite");
    ASSERT_TRUE(history.history);
    EXPECT_EQ(history.history->AnnouncedDates("IndexNow").at("http://site.test/new").lastmod,
              ParseW3cDate("2026-12-01"));
    const std::vector<RememberedSitemap> remembered = history.history->Sitemaps();
    ASSERT_EQ(remembered.size(), 1u) << "the site remembers the sitemap it read";
    EXPECT_EQ(remembered[0].site, "http://site.test/");
    EXPECT_EQ(remembered[0].sitemap, "http://site.test/sitemap.xml");

    importFrom("http://site.test/broken.xml");
    ASSERT_EQ(desktop_.messages.size(), 2u);
    EXPECT_TRUE(desktop_.messages[1].text.startsWith(
        "The import did not complete:\nhttp://site.test/broken.xml: not well-formed XML"));
    EXPECT_TRUE(desktop_.messages[1].text.endsWith(
        "Read before that: 1 address. Add the new ones to the list?"))
        << desktop_.messages[1].text.toStdString();
    EXPECT_EQ(Rows(), 3) << "the user said no";
    desktop_.questionAnswers = {true};
    importFrom("http://site.test/broken.xml");
    EXPECT_EQ(Text(3), "http://site.test/part");
}

// Every command of the window's menu has a shortcut that works from any field and shows in the
// menu, and the Menu key or Shift+F10 opens the menu where no text field opens its own.
TEST_F(MainWindowTest, TheWindowsMenuIsReachedFromTheKeyboard) {
    Open();
    testing::ModalDriver driver;
    driver.Then<CImportDlg>([](CImportDlg* ask) { Later([ask] { ask->reject(); }); });
    QTest::keyClick(window_->controls().Get<QLineEdit>("url"), Qt::Key_I, Qt::ControlModifier);
    EXPECT_TRUE(driver.done());

    QStringList shown;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (const QAction* action : menu->actions()) {
            shown << action->text() + QLatin1Char('\t') + action->shortcut().toString();
        }
        menu->close();
    });
    Button("submitAll")->setFocus();
    QTest::keyClick(Button("submitAll"), Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_THAT(shown, ElementsAre("&Channels...\tCtrl+N", "Import &Sitemap...\tCtrl+I",
                                   "A&nnounce Changes\tCtrl+R", "&History...\tCtrl+H",
                                   "Si&tes...\tCtrl+T", "&About Quaymarker...\tCtrl+Shift+A"));
}

TEST_F(MainWindowTest, HelpAndAboutOpenOverTheWindow) {
    Open();
    testing::ModalDriver driver;
    driver.Then<CHelpDlg>([](CHelpDlg* help) { Later([help] { help->accept(); }); })
        .Then<CAboutDlg>([](CAboutDlg* about) { Later([about] { about->accept(); }); });
    QTest::mouseClick(Button("help"), Qt::LeftButton);
    window_->OnSysCommand(CSubmitDlg::kAboutCommand);
    EXPECT_TRUE(driver.done());
}

}  // namespace
}  // namespace quaymark::ui
