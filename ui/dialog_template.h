#pragma once

#include <QFont>
#include <QHash>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <vector>

class QDialog;

namespace quaymark::ui {

// One control of a dialog template, positioned in dialog units.
struct ControlTemplate {
    // What the window that shows it calls it.
    QString name;
    QString kind;  // static, button, checkbox, edit, combobox, listbox, progress, picture, icon,
                   // groupbox, animation
    QString text;
    QString image;  // artwork name, for pictures, icons and animations
    QStringList styles;
    QRect rect;
};

// A dialog as data: caption, size in dialog units, font size, frame styles and controls in
// template order, which is also the tab order.
struct DialogTemplate {
    int id = 0;
    QString caption;
    QSize size;
    int fontPoints = 8;
    QStringList styles;
    std::vector<ControlTemplate> controls;
};

DialogTemplate LoadDialogTemplate(int templateId);

// The dialog font: Liberation Sans, whose letters are as wide as those the templates were
// laid out for, at the template's size.
QFont DialogFont(const DialogTemplate& dialogTemplate);

// Dialog units to pixels. The templates were laid out for a dialog font whose base units are
// 6 by 13 pixels (a quarter of an average letter across, an eighth of a line down); keeping
// them makes every control, and the splash picture, the size it was drawn for.
class DialogUnits {
public:
    int X(int dlu) const;
    int Y(int dlu) const;
    QRect ToPixels(const QRect& dluRect) const;

private:
    static constexpr int kBaseX = 6;
    static constexpr int kBaseY = 13;
};

// The controls of a built dialog, found by their names.
class DialogControls {
public:
    explicit DialogControls(int templateId = 0) : templateId_(templateId) {}

    void Add(const QString& name, QWidget* control);

    // The control of that name and kind. A window asks for its controls as it is built, so a
    // template that lacks one, or has it of another kind, stops the program at once, saying
    // which.
    template <typename T>
    T* Get(const char* name) const {
        QWidget* control = Require(name);
        T* typed = qobject_cast<T*>(control);
        if (typed == nullptr) {
            WrongKind(name, control, T::staticMetaObject.className());
        }
        return typed;
    }

private:
    QWidget* Require(const char* name) const;
    [[noreturn]] void WrongKind(const char* name, const QWidget* control, const char* wanted) const;

    int templateId_;
    QHash<QString, QPointer<QWidget>> controls_;
};

// Builds the dialog's window and controls from its template.
DialogControls BuildDialog(QDialog& dialog, int templateId);
DialogControls BuildDialog(QDialog& dialog, const DialogTemplate& dialogTemplate);

// A static text as the user sees it: "&&" shows as "&" and a single "&" only marks a mnemonic.
QString WithoutMnemonics(const QString& text);

}  // namespace quaymark::ui
