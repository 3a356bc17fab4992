#include "ui/progress_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <vector>

#include "ui/clip_player.h"

namespace quaymark::ui {
namespace {

QString LabelText(const CProgressDlg& dialog, int id) {
    return dialog.controls().Get<QLabel>(id)->text();
}

TEST(ProgressWindow, IsBuiltHiddenFromItsTemplate) {
    CProgressDlg dialog(nullptr);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.windowTitle(), "Submitting URLs");
    EXPECT_EQ(LabelText(dialog, 1010), "Sending:");
    EXPECT_EQ(LabelText(dialog, 1003), "to Engine:");
    EXPECT_EQ(LabelText(dialog, 1001), "");
    EXPECT_EQ(LabelText(dialog, 1004), "");
    EXPECT_EQ(dialog.controls().Get<QPushButton>(CProgressDlg::kCancelId)->text(), "&Cancel");
    EXPECT_NE(dialog.controls().Get<ClipPlayer>(CProgressDlg::kAnimationId), nullptr);
    EXPECT_NE(dialog.controls().Find(1008), nullptr);
    EXPECT_NE(dialog.controls().Find(1009), nullptr);
    EXPECT_EQ(dialog.m_nAddressCount, 1);
    EXPECT_FALSE(dialog.m_bCancelRequested);
    auto* bar = dialog.controls().Get<QProgressBar>(CProgressDlg::kBarId);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 7);
}

TEST(ProgressWindow, CancelEscAndCloseBoxOnlyRecordOneRequest) {
    CProgressDlg dialog(nullptr);
    dialog.Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_FALSE(dialog.PollCancel());

    QTest::mouseClick(dialog.controls().Get<QPushButton>(CProgressDlg::kCancelId), Qt::LeftButton);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog.PollCancel());
    EXPECT_FALSE(dialog.PollCancel()) << "two requests count once";
    EXPECT_TRUE(dialog.isVisible());

    dialog.close();
    EXPECT_TRUE(dialog.isVisible()) << "the close box does not close it";
    EXPECT_TRUE(dialog.PollCancel());
}

TEST(ProgressWindow, BarRangeFollowsTheCountWithoutWrapping) {
    CProgressDlg dialog(nullptr);
    auto* bar = dialog.controls().Get<QProgressBar>(CProgressDlg::kBarId);
    dialog.SetAddressCount(3, 7);
    EXPECT_EQ(bar->maximum(), 21);
    for (int i = 0; i < 21; ++i) {
        dialog.StepProgress();
    }
    EXPECT_EQ(bar->value(), bar->maximum());

    dialog.SetAddressCount(100000, 7);
    EXPECT_EQ(bar->maximum(), 700000) << "no 16-bit wrap";
    EXPECT_EQ(bar->value(), 0);
    dialog.SetAddressCount(9363, 7);
    EXPECT_EQ(bar->maximum(), 65541);
    dialog.SetAddressCount(40, 1);
    EXPECT_EQ(bar->maximum(), 40) << "a re-submission steps once per entry";
}

TEST(ProgressWindow, AnimationLoopsWhileShown) {
    CProgressDlg dialog(nullptr);
    auto* clip = dialog.controls().Get<ClipPlayer>(CProgressDlg::kAnimationId);
    dialog.Show();
    const int first = clip->currentFrame();
    QTRY_VERIFY_WITH_TIMEOUT(clip->currentFrame() != first, 5000);
    dialog.Hide();
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
