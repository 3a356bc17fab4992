#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QLineEdit>
#include <QListWidget>
#include <QLockFile>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <filesystem>

#include "engine/channel/error_pages.h"
#include "storage/program_paths.h"
#include "storage/url_list_file.h"
#include "tests/support/fake_engine_server.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/desktop_recorder.h"
#include "tests/ui/modal_driver.h"
#include "tests/ui/scoped_page_dir.h"
#include "ui/app.h"
#include "ui/info_windows.h"
#include "ui/main_window.h"
#include "ui/results_windows.h"
#include "ui/run_starter.h"

namespace quaymark::ui {
namespace {

using quaymark::testing::EngineRequest;
using ::testing::ElementsAre;

void Later(std::function<void()> action) {
    QTimer::singleShot(0, std::move(action));
}

std::vector<std::string> ErrorPagesIn(const std::filesystem::path& dir) {
    std::vector<std::string> pages;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (IsSweptErrorPageName(entry.path().filename().string())) {
            pages.push_back(entry.path().filename().string());
        }
    }
    std::sort(pages.begin(), pages.end());
    return pages;
}

// The whole program, as a user goes through it: start over a stored list, Submit All, read
// the failures, Re-Submit, OK, Quit.
TEST(Program, SubmitsTheStoredListAndSavesItOnQuit) {
    quaymark::testing::ScopedPageDir work;
    quaymark::testing::TempDir data;
    const QByteArray previousData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(data.path().string()));
    const std::filesystem::path listFile = data.path() / "quaymark" / "quaysites.dat";
    ASSERT_EQ(UrlListPath(), listFile);
    SaveUrlList(listFile, {"http://shop.example/", "http://blog.example/a b"}, "me@example.com");

    quaymark::testing::FakeEngineServer engines;
    int lycosCalls = 0;
    engines.SetPages([&](const EngineRequest& request) {
        if (request.host == "www.lycos.com" && ++lycosCalls <= 3) {
            return quaymark::testing::FailedPage("We failed to spider your page");
        }
        return quaymark::testing::AcceptedPage();
    });
    testing::DesktopRecorder desktop;

    std::vector<std::string> pagesWhileFailuresShown;
    QStringList linesShown;
    QStringList linesAfterResubmit;
    testing::ModalDriver driver;
    driver
        .Then<CSubmitDlg>([](CSubmitDlg* window) {
            window->splash()->hide();
            Later([window] { window->controls().Get<QPushButton>("submitAll")->click(); });
        })
        .Then<CFailedDlg>([&](CFailedDlg* failed) {
            pagesWhileFailuresShown = ErrorPagesIn(work.path());
            auto* list = failed->controls().Get<QListWidget>("list");
            for (int i = 0; i < list->count(); ++i) {
                linesShown << list->item(i)->text();
            }
            failed->controls().Get<QPushButton>("resubmit")->click();
            for (int i = 0; i < list->count(); ++i) {
                linesAfterResubmit << list->item(i)->text();
            }
            Later([failed] { failed->controls().Get<QPushButton>("ok")->click(); });
        })
        .Then<CSubmitDlg>([](CSubmitDlg* window) {
            Later([window] { window->controls().Get<QPushButton>("quit")->click(); });
        });

    CSubmitApp app({engines.Routes(), {}, {}});
    EXPECT_FALSE(app.InitInstance());
    EXPECT_TRUE(driver.done());
    EXPECT_EQ(app.mainWindow(), nullptr);

    const std::vector<EngineRequest> requests = engines.requests();
    ASSERT_EQ(requests.size(), 14u + 2u);
    EXPECT_EQ(requests[0].host, "www.webcrawler.com");
    EXPECT_EQ(requests[0].target,
              "/info/add_url/thanks/?url=http://shop.example/"
              "&email=me@example.com&country=US&brand=webcrawler");
    EXPECT_EQ(requests[9].host, "www.lycos.com");
    EXPECT_EQ(requests[9].target,
              "/cgi-bin/spider_now.pl?query=http://blog.example/a%20b&email=me@example.com");
    EXPECT_EQ(requests[14].target, requests[2].target)
        << "Re-Submit sends the failed requests as they were";
    EXPECT_EQ(requests[15].target, requests[9].target);

    EXPECT_THAT(pagesWhileFailuresShown, ElementsAre("submiterror0.html", "submiterror1.html"));
    struct stat pageDir {};
    ASSERT_EQ(::stat(work.path().c_str(), &pageDir), 0);
    EXPECT_EQ(pageDir.st_mode & 0777, 0700u) << "the pages are the user's alone";
    EXPECT_THAT(linesShown, ElementsAre("Lycos: failed. http://shop.example/",
                                        "Lycos: failed. http://blog.example/a b"));
    EXPECT_THAT(linesAfterResubmit,
                ElementsAre("Sending: failed. "
                            "http://www.lycos.com/cgi-bin/spider_now.pl?query=http://shop.example/"
                            "&email=me@example.com"));
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text, "The sites listed failed to be re-submitted.");
    EXPECT_TRUE(ErrorPagesIn(work.path()).empty()) << "OK swept the error pages";
    EXPECT_EQ(quaymark::testing::ReadFileBytes(listFile),
              "http://shop.example/\r\nhttp://blog.example/a b\r\nEOS\r\nme@example.com\r\n");

    qputenv("XDG_DATA_HOME", previousData);
}

// Points the program's data directory at a test directory for as long as it lives.
class ScopedDataHome {
public:
    ScopedDataHome() : previous_(qgetenv("XDG_DATA_HOME")) {
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir_.path().string()));
    }
    ~ScopedDataHome() { qputenv("XDG_DATA_HOME", previous_); }
    std::filesystem::path ListFile() const { return dir_.path() / "quaymark" / "quaysites.dat"; }

private:
    quaymark::testing::TempDir dir_;
    QByteArray previous_;
};

TEST(Program, TerminationSignalClosesTheWindowAsQuitDoes) {
    quaymark::testing::ScopedPageDir pages;
    ScopedDataHome data;
    testing::DesktopRecorder desktop;
    testing::ModalDriver driver;
    driver.Then<CSubmitDlg>([](CSubmitDlg* window) {
        window->splash()->hide();
        QTest::keyClicks(window->controls().Get<QLineEdit>("url"), "http://added.example/");
        window->controls().Get<QPushButton>("add")->click();
        ::kill(::getpid(), SIGTERM);
    });
    CSubmitApp app;
    app.InitInstance();
    EXPECT_TRUE(driver.done());
    EXPECT_EQ(quaymark::testing::ReadFileBytes(data.ListFile()),
              "http://added.example/\r\nEOS\r\n\r\n");
}

TEST(Program, RealProgramIgnoresItsArgumentsSavesOnSigtermAndEndsNormally) {
    quaymark::testing::TempDir home;
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", QString::fromStdString((home.path() / "data").string()));
    environment.insert("XDG_CACHE_HOME", QString::fromStdString((home.path() / "cache").string()));
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(environment);
    // Were Qt to take these, it would mirror the windows and fail for want of the platform.
    program.start(QUAYMARK_PROGRAM, {"-platform", "none-such", "-reverse"});
    ASSERT_TRUE(program.waitForStarted());
    const std::filesystem::path listFile = home.path() / "data" / "quaymark" / "quaysites.dat";
    std::filesystem::path lockFile = listFile;
    lockFile += ".lock";
    // The lock is taken once the signals are watched.
    EXPECT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(lockFile); }, 20000));
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_EQ(quaymark::testing::ReadFileBytes(listFile), "EOS\r\n\r\n");
    EXPECT_FALSE(std::filesystem::exists(lockFile));
}

TEST(Program, SecondCopyOnTheSameListSaysSoAndTouchesNothing) {
    quaymark::testing::ScopedPageDir pages;
    ScopedDataHome data;
    SaveUrlList(data.ListFile(), {"http://mine.example/"}, "me@example.com");
    const std::string before = quaymark::testing::ReadFileBytes(data.ListFile());
    QLockFile first(QString::fromStdString(data.ListFile().string() + ".lock"));
    ASSERT_TRUE(first.tryLock(0));
    testing::DesktopRecorder desktop;
    CSubmitApp app;
    EXPECT_FALSE(app.InitInstance());
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text, "Quaymark! is already running.");
    EXPECT_EQ(desktop.messages[0].title, "Quaymark!");
    EXPECT_EQ(quaymark::testing::ReadFileBytes(data.ListFile()), before);
}

}  // namespace
}  // namespace quaymark::ui
