#include "ui/run_starter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <thread>

#include "engine/classic/classic_channel.h"
#include "tests/support/fake_engine_server.h"
#include "tests/support/raw_server.h"
#include "tests/support/run_lines.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/scoped_page_dir.h"
#include "ui/desktop.h"
#include "ui/progress_window.h"

namespace quaymark::ui {
namespace {

using ::testing::ElementsAre;
using testing::EngineRequest;
using testing::FakeEngineServer;
using ::testing::IsEmpty;

CProgressDlg* OpenProgressWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* progress = qobject_cast<CProgressDlg*>(widget)) {
            return progress;
        }
    }
    return nullptr;
}

using testing::FailureLines;

class SubmitListTest : public ::testing::Test {
protected:
    ~SubmitListTest() override { SetCredentialsHandler({}); }

    RunResult SubmitList(const std::vector<std::string>& entries, const std::string& email = {}) {
        return starter_.SubmitList(entries, email, nullptr).value();
    }

    quaymark::testing::ScopedPageDir dir_;
    FakeEngineServer server_;
    RunStarter starter_{{server_.Routes(), {}, {}}};
};

// A run under way elsewhere holds the run lock: the user is asked, No sends nothing, and Yes
// waits for it to end, then runs.
TEST(RunLock, ARunElsewhereIsWaitedForOrTheRunCancelled) {
    quaymark::testing::ScopedPageDir dir;
    FakeEngineServer server;
    const std::filesystem::path lockFile = dir.path() / "quaysites.dat.run.lock";
    RunStarter starter({server.Routes(), {}, {}}, lockFile);
    auto elsewhere = std::make_unique<ListLock>(lockFile);
    ASSERT_TRUE(elsewhere->held());
    std::vector<QString> asked;
    SetQuestionHandler([&](const MessageRequest& request) {
        asked.push_back(request.text);
        return false;
    });
    EXPECT_FALSE(starter.SubmitList({"http://a.example/"}, "", nullptr));
    EXPECT_THAT(server.requests(), IsEmpty());
    SetQuestionHandler([&](const MessageRequest& request) {
        asked.push_back(request.text);
        QTimer::singleShot(0, [&] { elsewhere.reset(); });  // the other run ends meanwhile
        return true;
    });
    EXPECT_TRUE(starter.SubmitList({"http://a.example/"}, "", nullptr));
    SetQuestionHandler({});
    EXPECT_EQ(server.requests().size(), EngineTable.size());
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_TRUE(asked[0].startsWith("Another announcement is under way"));
}

TEST_F(SubmitListTest, EmptyListFailsNothingAndOpensNothing) {
    const RunResult result = SubmitList({});
    EXPECT_FALSE(result.failed);
    EXPECT_THAT(result.FailureList, IsEmpty());
    EXPECT_THAT(result.ResubmitList, IsEmpty());
    EXPECT_THAT(server_.requests(), IsEmpty());
}

TEST_F(SubmitListTest, RunFillsTheResultsAndRemovesItsWindow) {
    server_.SetPages([](const EngineRequest& request) {
        return request.host == "www.excite.com" ? testing::FailedPage("Error")
                                                : testing::AcceptedPage();
    });
    const std::vector<std::string> entries{"http://one.example/", "http://two.example/"};
    const RunResult result = SubmitList(entries, "me@example.com");
    EXPECT_TRUE(result.failed);
    EXPECT_EQ(server_.requests().size(), 14u);
    EXPECT_THAT(FailureLines(result), ElementsAre("Excite: failed. http://one.example/",
                                                  "Excite: failed. http://two.example/"));
    EXPECT_EQ(result.FailureList[1].page, dir_.path() / "submiterror1.html");
    EXPECT_EQ(result.ResubmitList.size(), 2u);
    EXPECT_EQ(entries.size(), 2u) << "the caller's list is left as it was";
    EXPECT_EQ(OpenProgressWindow(), nullptr);
    EXPECT_FALSE(starter_.UnderWay());
}

TEST_F(SubmitListTest, ProgressWindowShowsTheRunWhileItGoes) {
    QString seenAddress;
    QString seenEngine;
    server_.SetPages([&](const EngineRequest& request) {
        if (request.host == "www.go.com") {
            // Read the window on its own thread while the worker waits for this answer.
            QMetaObject::invokeMethod(
                qApp,
                [&] {
                    CProgressDlg* progress = OpenProgressWindow();
                    // The window shows the run's latest state within a frame.
                    EXPECT_TRUE(QTest::qWaitFor([&] {
                        return progress->controls().Get<QLabel>("engine")->text() == "Go!";
                    }));
                    seenAddress = progress->controls().Get<QLabel>("address")->text();
                    seenEngine = progress->controls().Get<QLabel>("engine")->text();
                },
                Qt::BlockingQueuedConnection);
        }
        return testing::AcceptedPage();
    });
    EXPECT_FALSE(SubmitList({"http://one.example/?a=1&b=2"}).failed);
    EXPECT_EQ(seenAddress, "http://one.example/?a=1&b=2");
    EXPECT_EQ(seenEngine, "Go!");
}

TEST_F(SubmitListTest, CancelClickedDuringARequestStopsTheRun) {
    server_.SetPages([&](const EngineRequest& request) {
        if (request.host == "www.hotbot.com") {
            QMetaObject::invokeMethod(
                qApp, [] { OpenProgressWindow()->controls().Get<QPushButton>("cancel")->click(); },
                Qt::BlockingQueuedConnection);
            return testing::FailedPage("error");
        }
        return testing::AcceptedPage();
    });
    const RunResult result = SubmitList({"http://one.example/", "http://two.example/"});
    EXPECT_TRUE(result.failed);
    EXPECT_EQ(server_.requests().size(), 2u);
    EXPECT_THAT(FailureLines(result), ElementsAre("HotBot: failed. http://one.example/"));
    EXPECT_EQ(OpenProgressWindow(), nullptr);
}

TEST_F(SubmitListTest, CredentialsAreAskedOnTheUiThread) {
    testing::RawServer locked(
        testing::Answer("HTTP/1.0 401 Unauthorized\r\n\r\nError 401: no entry\n"));
    RunStarter starter({{{":", locked.port()}}, {}, {}});
    std::vector<QString> asked;
    bool onUiThread = false;
    SetCredentialsHandler([&](const QString& url) -> std::optional<Credentials> {
        onUiThread = QThread::currentThread() == qApp->thread();
        asked.push_back(url);
        return Credentials{"u", "p"};
    });
    const RunResult result =
        starter
            .SubmitList(
                std::vector<RunRequest>{
                    {.channel = std::string(ClassicChannel::kName),
                     .url = "http://www.lycos.com/cgi-bin/spider_now.pl?query=x"}},
                nullptr)
            .value();
    EXPECT_TRUE(result.failed);
    EXPECT_THAT(asked, ElementsAre("http://www.lycos.com/cgi-bin/spider_now.pl?query=x"));
    EXPECT_TRUE(onUiThread);
    EXPECT_EQ(locked.requests().size(), 2u);
    EXPECT_THAT(FailureLines(result),
                ElementsAre("Sending: failed. http://www.lycos.com/cgi-bin/spider_now.pl?query=x"))
        << "the 401 page's body is judged";
}

}  // namespace
}  // namespace quaymark::ui
