#include "ui/results_windows.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "engine/channel/error_pages.h"
#include "engine/classic/classic_channel.h"
#include "engine/classic/classify.h"
#include "tests/support/fake_engine_server.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/desktop_recorder.h"
#include "tests/ui/scoped_page_dir.h"
#include "ui/run_starter.h"

namespace quaymark::ui {
namespace {

using quaymark::testing::EngineRequest;
using quaymark::testing::FakeEngineServer;
using quaymark::testing::WriteFileBytes;
using ::testing::ElementsAre;

QStringList ShownLines(const CFailedDlg& dialog) {
    QStringList lines;
    auto* list = dialog.controls().Get<QListWidget>("list");
    for (int i = 0; i < list->count(); ++i) {
        lines << list->item(i)->text();
    }
    return lines;
}

QPushButton* Button(const CFailedDlg& dialog, const char* name) {
    return dialog.controls().Get<QPushButton>(name);
}

class FailedDlgTest : public ::testing::Test {
protected:
    void Select(CFailedDlg& dialog, int row) {
        dialog.controls().Get<QListWidget>("list")->setCurrentRow(row);
    }

    // A run's result as the window is given it: failure line n with error page n.
    RunResult Result() const {
        RunResult result;
        result.failed = true;
        for (std::size_t n = 0; n < failures_.size(); ++n) {
            // "<engine>: <detail> <target>"
            const std::string& line = failures_[n];
            const std::size_t colon = line.find(": ");
            const std::size_t space = line.rfind(' ');
            result.FailureList.push_back(
                {.channel = std::string(ClassicChannel::kName),
                 .engine = line.substr(0, colon),
                 .detail = line.substr(colon + 2, space - colon - 2),
                 .target = line.substr(space + 1),
                 .page = dir_.path() / ErrorPageName(static_cast<int>(n))});
        }
        for (const std::string& url : resubmit_) {
            result.ResubmitList.push_back(
                {.channel = std::string(ClassicChannel::kName), .url = url});
        }
        return result;
    }

    quaymark::testing::ScopedPageDir dir_;
    FakeEngineServer server_;
    RunStarter starter_{{server_.Routes(), {}, {}}};
    testing::DesktopRecorder desktop_;
    std::vector<std::string> failures_;
    std::vector<std::string> resubmit_;
};

TEST_F(FailedDlgTest, ShowsTheRunsFailureLinesUnderItsTexts) {
    failures_ = {"WebCrawler: failed. http://a/", "Go!: could not connect. http://a/?x=1&y=2"};
    CFailedDlg dialog(Result(), starter_);
    EXPECT_EQ(dialog.windowTitle(), "URL Submission Complete!");
    EXPECT_THAT(ShownLines(dialog), ElementsAre("WebCrawler: failed. http://a/",
                                                "Go!: could not connect. http://a/?x=1&y=2"));
    EXPECT_EQ(Button(dialog, "view")->text(), "&View");
    EXPECT_EQ(Button(dialog, "resubmit")->text(), "&Re-Submit");
    EXPECT_TRUE(Button(dialog, "ok")->isDefault());
}

TEST_F(FailedDlgTest, ViewWithNothingSelectedAsksForASelectionEscAndCloseBoxToo) {
    failures_ = {"HotBot: failed. http://a/"};
    CFailedDlg dialog(Result(), starter_);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTest::mouseClick(Button(dialog, "view"), Qt::LeftButton);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    dialog.close();
    ASSERT_EQ(desktop_.messages.size(), 3u);
    for (const MessageRequest& message : desktop_.messages) {
        EXPECT_EQ(message.text, "Select an error displayed and click VIEW again.");
        EXPECT_EQ(message.title, "Nothing was selected");
        EXPECT_EQ(message.icon, MessageIcon::None);
        EXPECT_EQ(message.owner, &dialog);
    }
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(desktop_.opened.empty());
}

TEST_F(FailedDlgTest, ViewOpensTheSelectedLinesPageOnly) {
    for (int i = 0; i < 14; ++i) {
        failures_.push_back("Lycos: failed. http://site" + std::to_string(i) + "/");
        WriteFileBytes(ErrorPageName(i), "page\r\n");
    }
    CFailedDlg dialog(Result(), starter_);
    dialog.show();
    Select(dialog, 1);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    const QString expected =
        QUrl::fromLocalFile(QString::fromStdString((dir_.path() / "submiterror1.html").string()))
            .toString();
    ASSERT_EQ(desktop_.opened.size(), 1u);
    EXPECT_EQ(desktop_.opened[0].toString(), expected);
    EXPECT_TRUE(expected.startsWith("file:///"));

    std::filesystem::remove("submiterror13.html");
    Select(dialog, 13);
    dialog.OnView();
    EXPECT_EQ(desktop_.opened.size(), 1u) << "a missing page opens nothing";
    EXPECT_TRUE(desktop_.messages.empty());
}

TEST_F(FailedDlgTest, ResubmitThatFailsAgainShowsAndKeepsOnlyTheNewFailures) {
    server_.SetPages([](const EngineRequest& request) {
        return request.target.find("still-bad") != std::string::npos
                   ? quaymark::testing::FailedPage("error")
                   : quaymark::testing::AcceptedPage();
    });
    failures_ = {"Excite: failed. http://fixed/", "Excite: failed. http://still-bad/"};
    resubmit_ = {"http://www.excite.com/?url=http://fixed/",
                 "http://www.excite.com/?url=http://still-bad/",
                 "http://www.google.com/addurl?q=http://fixed/&dq=thanks"};
    CFailedDlg dialog(Result(), starter_);
    Select(dialog, 0);
    dialog.OnResubmit();
    EXPECT_EQ(server_.requests().size(), 3u) << "every entry, whatever is selected";
    EXPECT_THAT(ShownLines(dialog),
                ElementsAre("Sending: failed. http://www.excite.com/?url=http://still-bad/"));
    ASSERT_EQ(desktop_.messages.size(), 1u);
    EXPECT_EQ(desktop_.messages[0].text, "The sites listed failed to be re-submitted.");
    EXPECT_EQ(desktop_.messages[0].title, "Quaymark!");
    EXPECT_THAT(dialog.runResult().ResubmitList,
                ElementsAre(RunRequest{.channel = std::string(ClassicChannel::kName),
                                       .url = "http://www.excite.com/?url=http://still-bad/"}))
        << "the window keeps the latest result that failed";

    dialog.OnResubmit();
    ASSERT_EQ(server_.requests().size(), 4u);
    EXPECT_EQ(server_.requests()[3].target, "/?url=http://still-bad/");
}

TEST_F(FailedDlgTest, ResubmitThatSucceedsKeepsTheList) {
    resubmit_ = {"http://www.google.com/addurl?q=http://a/&dq=thanks"};
    CFailedDlg dialog(Result(), starter_);
    dialog.OnView();
    EXPECT_EQ(desktop_.messages.back().title, "Nothing was selected")
        << "Google failures leave no line";
    dialog.OnResubmit();
    EXPECT_EQ(desktop_.messages.back().text, "Re-submission Successfull!.");
    EXPECT_EQ(dialog.runResult().ResubmitList.size(), 1u) << "the list that failed is kept";
    dialog.OnResubmit();
    EXPECT_EQ(server_.requests().size(), 2u) << "the same entries again";
}

TEST_F(FailedDlgTest, CommandsWaitWhileAResubmissionIsUnderWay) {
    WriteFileBytes("submiterror0.html", "old page");
    failures_ = {"HotBot: failed. http://a/"};
    resubmit_ = {"http://www.hotbot.com/addurl.asp?newurl=http://a/"};
    CFailedDlg dialog(Result(), starter_);
    dialog.show();
    server_.SetPages([&](const EngineRequest&) {
        QMetaObject::invokeMethod(
            qApp,
            [&] {
                Select(dialog, 0);
                Button(dialog, "ok")->click();
                Button(dialog, "view")->click();
                Button(dialog, "resubmit")->click();
                dialog.close();
            },
            Qt::BlockingQueuedConnection);
        return quaymark::testing::AcceptedPage();
    });
    dialog.OnResubmit();
    EXPECT_EQ(server_.requests().size(), 1u) << "no second run";
    EXPECT_TRUE(dialog.isVisible()) << "neither OK nor the close box closed it";
    EXPECT_TRUE(std::filesystem::exists("submiterror0.html")) << "no sweep";
    EXPECT_TRUE(desktop_.opened.empty());
    ASSERT_EQ(desktop_.messages.size(), 1u);
    EXPECT_EQ(desktop_.messages[0].text, "Re-submission Successfull!.");
}

TEST_F(FailedDlgTest, OkSweepsEveryErrorPageAndCloses) {
    for (const char* name :
         {"submiterror0.html", "submiterror12.html", "old-submiterror.HTML", "submiterror7.HtMl",
          "SUBMITERROR3.html", "submiterror.txt", "notes.html"}) {
        WriteFileBytes(dir_.path() / name, "x");
    }
    // The working directory is the user's (their home, started from the menu): untouched.
    quaymark::testing::ScopedWorkingDir home;
    WriteFileBytes("my-submiterror.html", "the user's own");
    CFailedDlg dialog(Result(), starter_);
    dialog.show();
    QTest::mouseClick(Button(dialog, "ok"), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
        left.push_back(entry.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    EXPECT_THAT(left, ElementsAre("SUBMITERROR3.html", "notes.html", "submiterror.txt"));
    EXPECT_TRUE(std::filesystem::exists("my-submiterror.html"));
}

TEST(DoneDlg, ShowsItsNoticeAndClosesWithoutDeletingAnything) {
    quaymark::testing::ScopedPageDir dir;
    WriteFileBytes("submiterror0.html", "x");
    CDoneDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), "URL Submission Complete!");
    QStringList texts;
    for (const QLabel* label : dialog.findChildren<QLabel*>()) {
        texts << label->text();
    }
    EXPECT_TRUE(
        texts.contains("All URL(s) have been submitted.\n\nSome sites require 2 weeks before your "
                       "site begins to appear in their listings."));
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(std::filesystem::exists("submiterror0.html"));
}

}  // namespace
}  // namespace quaymark::ui
