#include "ui/info_windows.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "base/product.h"
#include "tests/ui/desktop_recorder.h"

namespace quaymark::ui {
namespace {

QStringList LabelTexts(const QWidget& window) {
    QStringList texts;
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        if (label->pixmap().isNull()) {
            texts << label->text();
        }
    }
    return texts;
}

TEST(HelpWindow, ShowsItsTextsAsTheUserReadsThem) {
    CHelpDlg help;
    EXPECT_EQ(help.windowTitle(), "Quaymark! Help");
    const QStringList texts = LabelTexts(help);
    EXPECT_TRUE(texts.contains("Quaymark! v1.6"));
    EXPECT_TRUE(texts.contains(
        "Quaymark! is a quick & easy tool to submit your web pages to the major search engines. No "
        "need "
        "to fill in all those database fields like in most url submission programs."));
    EXPECT_TRUE(
        texts.contains("To help you get listed near the top of search engine results be sure to "
                       "have META tags filled "
                       "in on your web pages. These are the <META TAG=\"Keywords\"> and <META "
                       "TAG=\"Descrip\">. For help "
                       "on how to use these tags, look for meta tags help on the WWW."));
    EXPECT_EQ(help.controls().Get<QPushButton>("visit")->text(), "Visit Tolvane");
}

TEST(HelpWindow, VisitOpensTheHomePageAndEscCloses) {
    testing::DesktopRecorder desktop;
    CHelpDlg help;
    help.show();
    QTest::mouseClick(help.controls().Get<QPushButton>("visit"), Qt::LeftButton);
    ASSERT_EQ(desktop.opened.size(), 1u);
    EXPECT_EQ(desktop.opened[0].toString().toStdString(), std::string(kMakerHomePage));
    EXPECT_TRUE(help.isVisible());
    QTest::keyClick(&help, Qt::Key_Escape);
    EXPECT_FALSE(help.isVisible());
}

TEST(AboutBox, ShowsNameAndVersionAndClosesLikeOk) {
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), "About Quaymark!");
    EXPECT_TRUE(LabelTexts(about).contains("Quaymark! v1.6"));
    about.show();
    QTest::keyClick(&about, Qt::Key_Escape);
    EXPECT_FALSE(about.isVisible());
}

TEST(Splash, HidesAtAClickAnywhere) {
    CSplashDlg splash;
    splash.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&splash));
    EXPECT_TRUE(splash.windowTitle().isEmpty());
    // The picture covers the window yet lets the click through to it.
    QWidget* picture = splash.childAt(splash.width() / 2, splash.height() / 2);
    EXPECT_EQ(picture, nullptr);
    QTest::mouseClick(&splash, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(splash.isVisible());
}

TEST(Splash, HidesByItselfAfterItsTime) {
    CSplashDlg splash;
    splash.show();
    HideSplashLater(&splash, std::chrono::milliseconds(10));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !splash.isVisible(); }, 5000));
}

// The owner stands in for the main window, the count for its Help command.
struct HelpTarget {
    QObject owner;
    int helps = 0;
};

TEST(HelpKey, F1AnywhereWithoutModifiersSendsHelp) {
    HelpTarget target;
    InstallHelpKey(&target.owner, [&target] { ++target.helps; });
    CAboutDlg about;
    about.show();
    QTest::keyClick(&about, Qt::Key_F1);
    QTest::keyClick(&about, Qt::Key_F1, Qt::ShiftModifier);
    QTest::keyClick(&about, Qt::Key_F1, Qt::ControlModifier);
    QTest::keyClick(&about, Qt::Key_F1, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return target.helps == 1; }));
    CHelpDlg help;
    help.show();
    QTest::keyClick(help.controls().Get<QPushButton>("ok"), Qt::Key_F1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return target.helps == 2; }));
}

}  // namespace
}  // namespace quaymark::ui
