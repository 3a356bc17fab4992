#include "ui/dialog_template.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/artwork.h"
#include "ui/submit_list.h"

namespace quaymark::ui {
namespace {

TEST(DialogTemplate, DialogUnitsFollowTheFontsAverageLetter) {
    const QFont font = DialogFont(LoadDialogTemplate(129));
    const QFontMetrics metrics(font);
    const int baseX =
        (metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 26 +
         1) /
        2;
    const DialogUnits units(font);
    EXPECT_EQ(units.X(4), baseX);
    EXPECT_EQ(units.Y(8), metrics.height());
    EXPECT_EQ(units.X(238), (238 * baseX + 2) / 4);
    EXPECT_EQ(font.pointSize(), 8);
}

TEST(DialogTemplate, ControlsAreFoundByIdAndTabInTemplateOrder) {
    QDialog dialog;
    const DialogControls controls = BuildDialog(dialog, 102);
    EXPECT_EQ(dialog.windowTitle(), "Quaymark!");
    const DialogUnits units(dialog.font());
    EXPECT_EQ(dialog.width(), units.X(262));
    EXPECT_EQ(dialog.height(), units.Y(154));
    EXPECT_EQ(controls.Find(1000)->geometry(), units.ToPixels(QRect(4, 44, 184, 13)));
    EXPECT_EQ(controls.Find(4242), nullptr);

    const std::vector<int> tabOrder{1000, 1005, 1006, 1001, 1, 2, 1007, 57670, 1008};
    QWidget* widget = controls.Find(tabOrder.front());
    for (std::size_t i = 1; i < tabOrder.size(); ++i) {
        widget = widget->nextInFocusChain();
        while (widget->focusPolicy() == Qt::NoFocus) {
            widget = widget->nextInFocusChain();
        }
        EXPECT_EQ(widget, controls.Find(tabOrder[i])) << i;
    }
}

TEST(DialogTemplate, StaticTextsFollowTheirKind) {
    EXPECT_EQ(WithoutMnemonics("quick && easy"), "quick & easy");
    EXPECT_EQ(WithoutMnemonics("&File"), "File");
    EXPECT_EQ(WithoutMnemonics("ends in &"), "ends in &");
    QDialog dialog;
    BuildDialog(dialog, 100);
    bool literal = false;
    for (const QLabel* label : dialog.findChildren<QLabel*>()) {
        literal = literal || label->text() == "Quaymark! v1.6";
    }
    EXPECT_TRUE(literal);
}

TEST(Artwork, PicturesHaveTheirSizesAndStaySharpAtDoubleScale) {
    const std::pair<const char*, QSize> pictures[] = {
        {"bitmap133", {34, 36}}, {"bitmap134", {34, 36}},   {"bitmap136", {34, 36}},
        {"bitmap138", {32, 32}}, {"bitmap147", {360, 242}}, {"bitmap177", {51, 36}},
        {"bitmap187", {37, 34}}, {"icon128", {32, 32}}};
    for (const auto& [name, size] : pictures) {
        const QPixmap normal = Artwork(name, 1.0);
        const QPixmap sharp = Artwork(name, 2.0);
        EXPECT_EQ(normal.size(), size) << name;
        EXPECT_EQ(sharp.size(), size * 2) << name;
        EXPECT_EQ(sharp.deviceIndependentSize().toSize(), size) << name;
    }
    EXPECT_EQ(ClipFrame("clip104", 0, 1.0).size(), QSize(34, 36));
    EXPECT_NE(ClipFrame("clip104", 0, 1.0), ClipFrame("clip104", 20, 1.0)) << "the globe dissolves";
    EXPECT_EQ(ClipFrame("clip104", 0, 1.0), ClipFrame("clip104", kClipFrameCount - 1, 1.0))
        << "and forms again";
}

TEST(ApplicationTitle, IsTheExecutablesBaseName) {
    EXPECT_EQ(ApplicationTitle(), "ui_tests");
}

}  // namespace
}  // namespace quaymark::ui
