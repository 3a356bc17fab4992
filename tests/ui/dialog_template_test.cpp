#include "ui/dialog_template.h"

#include <gtest/gtest.h>

#include <memory>

#include <QAbstractButton>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleOptionGroupBox>

#include "tests/ui/scoped_page_dir.h"
#include "ui/artwork.h"
#include "ui/channels_window.h"
#include "ui/desktop.h"
#include "ui/history_window.h"
#include "ui/import_windows.h"
#include "ui/info_windows.h"
#include "ui/main_window.h"
#include "ui/progress_window.h"
#include "ui/results_windows.h"

namespace quaymark::ui {
namespace {

// Every text as the user sees it: each static text, wrapped as shown, inside its control,
// and each group box's texts below its title and frame line.
TEST(DialogTemplate, EveryTextFitsItsControl) {
    const QStringList templates = QDir(QStringLiteral(":/dialogs")).entryList();
    ASSERT_FALSE(templates.isEmpty());
    for (const QString& file : templates) {
        QDialog dialog;
        BuildDialog(dialog, QFileInfo(file).baseName().toInt());
        const QList<QGroupBox*> groups = dialog.findChildren<QGroupBox*>();
        for (const QLabel* label : dialog.findChildren<QLabel*>()) {
            if (label->text().isEmpty()) {
                continue;  // pictures and the texts a run fills in
            }
            const QRect room = label->contentsRect();
            const QRect needed = label->fontMetrics().boundingRect(
                QRect(0, 0, room.width(), 1 << 20), Qt::TextWordWrap | label->alignment(),
                label->text());
            EXPECT_LE(needed.width(), room.width())
                << file.toStdString() << " " << label->text().toStdString();
            EXPECT_LE(needed.height(), room.height())
                << file.toStdString() << " " << label->text().toStdString();
            for (QGroupBox* group : groups) {
                QStyleOptionGroupBox option;
                option.initFrom(group);
                option.text = group->title();
                option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
                // The frame line runs through the title: the texts begin below the title.
                const QRect title = group->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                                   QStyle::SC_GroupBoxLabel, group);
                if (group->geometry().contains(label->geometry())) {
                    EXPECT_GT(label->y(), title.translated(group->pos()).bottom())
                        << file.toStdString() << " " << label->text().toStdString();
                }
            }
        }
    }
}

TEST(DialogTemplate, SplashPictureFillsItsWindowExactly) {
    CSplashDlg splash(nullptr);
    EXPECT_EQ(splash.size(), QSize(360, 242));
    const QList<QLabel*> pictures = splash.findChildren<QLabel*>();
    ASSERT_EQ(pictures.size(), 1);
    EXPECT_EQ(pictures[0]->geometry(), QRect(0, 0, 360, 242));
    EXPECT_EQ(pictures[0]->pixmap().deviceIndependentSize().toSize(), QSize(360, 242));
}

TEST(DialogTemplate, ControlsAreFoundByNameAndTabInTemplateOrder) {
    QDialog dialog;
    const DialogControls controls = BuildDialog(dialog, 102);
    EXPECT_EQ(dialog.windowTitle(), "Quaymark!");
    const DialogUnits units;
    EXPECT_EQ(dialog.width(), units.X(262));
    EXPECT_EQ(dialog.height(), units.Y(154));
    EXPECT_EQ(controls.Get<QLineEdit>("url")->geometry(), units.ToPixels(QRect(4, 44, 184, 13)));

    const std::vector<const char*> tabOrder{"url",  "add",  "remove", "email", "submitAll",
                                            "quit", "list", "help",   "submit"};
    QWidget* widget = controls.Get<QWidget>(tabOrder.front());
    for (std::size_t i = 1; i < tabOrder.size(); ++i) {
        widget = widget->nextInFocusChain();
        while (widget->focusPolicy() == Qt::NoFocus) {
            widget = widget->nextInFocusChain();
        }
        EXPECT_EQ(widget, controls.Get<QWidget>(tabOrder[i])) << i;
    }
}

// A window asks for its controls as it is built: a template that lacks one, or has it of
// another kind, stops the program at once and says which.
TEST(DialogTemplateDeathTest, AMissingOrRenamedControlIsToldAtOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    DialogTemplate renamed = LoadDialogTemplate(CSubmitDlg::kTemplateId);
    for (ControlTemplate& control : renamed.controls) {
        if (control.name == "add") {
            control.name = "append";
        }
    }
    EXPECT_DEATH(
        {
            QDialog dialog;
            BuildDialog(dialog, renamed).Get<QPushButton>("add");
        },
        "dialog template 102 has no control named \"add\"");
    EXPECT_DEATH(
        {
            QDialog dialog;
            BuildDialog(dialog, CSubmitDlg::kTemplateId).Get<QLineEdit>("add");
        },
        "control \"add\" of dialog template 102 is a QPushButton, not a QLineEdit");
}

// Every window is built from its template: each control it asks for is there with its kind
// (building it stops the program otherwise), and each text of the template reaches its control.
TEST(DialogTemplate, EveryWindowFindsItsControlsAndEveryTextReachesItsControl) {
    testing::ScopedPageDir pages;
    RunStarter runs;
    std::vector<std::pair<int, std::unique_ptr<QDialog>>> windows;
    windows.emplace_back(CSubmitDlg::kTemplateId,
                         std::make_unique<CSubmitDlg>(pages.path() / "quaysites.dat"));
    windows.emplace_back(CProgressDlg::kTemplateId, std::make_unique<CProgressDlg>(nullptr));
    windows.emplace_back(CDoneDlg::kTemplateId, std::make_unique<CDoneDlg>());
    windows.emplace_back(CFailedDlg::kTemplateId, std::make_unique<CFailedDlg>(RunResult{}, runs));
    windows.emplace_back(CHelpDlg::kTemplateId, std::make_unique<CHelpDlg>());
    windows.emplace_back(CAboutDlg::kTemplateId, std::make_unique<CAboutDlg>());
    windows.emplace_back(CSplashDlg::kTemplateId, std::make_unique<CSplashDlg>());
    windows.emplace_back(CChannelsDlg::kTemplateId,
                         std::make_unique<CChannelsDlg>(IndexNowSettings{}, false,
                                                        std::vector<std::string>{}, RunRouting{}));
    windows.emplace_back(CImportDlg::kTemplateId, std::make_unique<CImportDlg>());
    windows.emplace_back(CImportProgressDlg::kTemplateId,
                         std::make_unique<CImportProgressDlg>(nullptr));
    windows.emplace_back(
        CHistoryDlg::kTemplateId,
        std::make_unique<CHistoryDlg>(std::vector<std::string>{}, HistoryContents{}, 0));
    for (const auto& [templateId, window] : windows) {
        const DialogTemplate data = LoadDialogTemplate(templateId);
        EXPECT_EQ(window->windowTitle(), data.caption) << templateId;
        for (const ControlTemplate& control : data.controls) {
            const std::string where = std::to_string(templateId) + " " + control.name.toStdString();
            auto* widget = window->findChild<QWidget*>(control.name);
            ASSERT_NE(widget, nullptr) << where;
            if (auto* label = qobject_cast<QLabel*>(widget); label && control.kind == "static") {
                EXPECT_TRUE(label->text() == control.text ||
                            label->text() == WithoutMnemonics(control.text))
                    << where;
            } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
                EXPECT_EQ(button->text(), control.text) << where;
            } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
                EXPECT_EQ(group->title(), WithoutMnemonics(control.text)) << where;
            }
        }
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
