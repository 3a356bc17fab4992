#include "ui/progress_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "ui/clip_player.h"

namespace quaymark::ui {
namespace {

QString LabelText(const CProgressDlg& dialog, const char* name) {
    return dialog.controls().Get<QLabel>(name)->text();
}

TEST(ProgressWindow, IsBuiltHiddenFromItsTemplate) {
    CProgressDlg dialog(nullptr);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.windowTitle(), "Submitting URLs");
    EXPECT_EQ(LabelText(dialog, "sendingLabel"), "Sending:");
    EXPECT_EQ(LabelText(dialog, "engineLabel"), "to Engine:");
    EXPECT_EQ(LabelText(dialog, "address"), "");
    EXPECT_EQ(LabelText(dialog, "status"), "");
    EXPECT_EQ(dialog.controls().Get<QPushButton>("cancel")->text(), "&Cancel");
    EXPECT_NE(dialog.controls().Get<ClipPlayer>("animation"), nullptr);
    EXPECT_NE(dialog.controls().Get<QLabel>("rightPicture"), nullptr);
    EXPECT_NE(dialog.controls().Get<QLabel>("leftPicture"), nullptr);
    EXPECT_EQ(dialog.m_nAddressCount, 1);
    auto* bar = dialog.controls().Get<QProgressBar>("bar");
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 7);
}

TEST(ProgressWindow, CancelEscAndCloseBoxOnlyAskForTheRunToStop) {
    CProgressDlg dialog(nullptr);
    QSignalSpy asked(&dialog, &CProgressDlg::cancelRequested);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTest::mouseClick(dialog.controls().Get<QPushButton>("cancel"), Qt::LeftButton);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(asked.count(), 2);
    EXPECT_TRUE(dialog.isVisible());
    dialog.close();
    EXPECT_TRUE(dialog.isVisible()) << "the close box does not close it";
    EXPECT_EQ(asked.count(), 3);
}

// The worker's calls, as a run makes them from its own thread.
void FromWorker(const std::function<void()>& calls) {
    std::thread worker(calls);
    worker.join();
}

TEST(ProgressWindow, BarRangeFollowsTheCountWithoutWrapping) {
    CProgressDlg dialog(nullptr);
    auto* bar = dialog.controls().Get<QProgressBar>("bar");
    FromWorker([&] {
        dialog.RunStarted(3, 7, 0);
        for (int i = 0; i < 21; ++i) {
            dialog.RequestDone();
        }
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar->value() == 21; }));
    EXPECT_EQ(bar->maximum(), 21);

    FromWorker([&] { dialog.RunStarted(100000, 7, 0); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar->maximum() == 700000; }));
    EXPECT_EQ(bar->value(), 0);
    FromWorker([&] { dialog.RunStarted(9363, 7, 0); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar->maximum() == 65541; }));
    FromWorker([&] { dialog.RunStarted(40, 1, 0); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar->maximum() == 40; }));
}

TEST(ProgressWindow, BurstOfStepsEndsWithTheBarFullAndTheLastTextsShown) {
    CProgressDlg dialog(nullptr);
    auto* bar = dialog.controls().Get<QProgressBar>("bar");
    FromWorker([&] {
        dialog.RunStarted(1000, 1, 0);
        for (int i = 0; i < 1000; ++i) {
            dialog.AddressStarted("http://site" + std::to_string(i) + ".example/");
            dialog.EngineStarted("Sending");
            dialog.RequestDone();
        }
        dialog.FailureRecorded({"Sending", SubmitVerdict::Failed, "x", "Sending: failed."});
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar->value() == 1000; }));
    EXPECT_EQ(bar->maximum(), 1000);
    EXPECT_EQ(LabelText(dialog, "address"), "http://site999.example/");
    EXPECT_EQ(LabelText(dialog, "engine"), "Sending");
    EXPECT_EQ(LabelText(dialog, "status"), "Sending: failed.");
    EXPECT_TRUE(dialog.isVisible());
    FromWorker([&] { dialog.RunEnded(); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.isVisible(); }));
}

TEST(ProgressWindow, AnimationLoopsWhileShown) {
    CProgressDlg dialog(nullptr);
    auto* clip = dialog.controls().Get<ClipPlayer>("animation");
    dialog.show();
    const int first = clip->currentFrame();
    EXPECT_TRUE(QTest::qWaitFor([&] { return clip->currentFrame() != first; }, 5000));
    dialog.hide();
    EXPECT_FALSE(dialog.isVisible());
}

TEST(ProgressWindow, ClipKeepsItsFramesWhileOtherClipsAreDrawn) {
    QWidget host;
    host.resize(40, 40);
    ClipPlayer first(QStringLiteral("clip104"), &host);
    first.resize(34, 36);
    const QImage before = first.grab().toImage();
    // Enough other clips that a growing store would move what it holds.
    std::vector<std::unique_ptr<ClipPlayer>> others;
    for (int i = 0; i < 80; ++i) {
        others.push_back(
            std::make_unique<ClipPlayer>(QStringLiteral("clip%1").arg(200 + i), &host));
    }
    EXPECT_EQ(first.grab().toImage(), before);
}

}  // namespace
}  // namespace quaymark::ui
