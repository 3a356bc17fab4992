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
    int id = -1;
    QString kind;  // static, button, edit, listbox, progress, picture, icon, groupbox, animation
    QString text;
    QString image;  // artwork name, for pictures, icons and animations
    QStringList styles;
    QRect rect;
};

// A dialog as data: caption, size in dialog units, font, frame styles and controls in
// template order, which is also the tab order.
struct DialogTemplate {
    int id = 0;
    QString caption;
    QSize size;
    QString fontFace;
    int fontPoints = 8;
    QStringList styles;
    std::vector<ControlTemplate> controls;
};

DialogTemplate LoadDialogTemplate(int templateId);

// The dialog font: the desktop's sans-serif face standing in for the template's face.
QFont DialogFont(const DialogTemplate& dialogTemplate);

// Dialog units to pixels, from the font's average letter width and height.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    int X(int dlu) const;
    int Y(int dlu) const;
    QRect ToPixels(const QRect& dluRect) const;

private:
    int baseX_;
    int baseY_;
};

// The controls of a built dialog, found by their ids.
class DialogControls {
public:
    void Add(int id, QWidget* control);
    QWidget* Find(int id) const;

    template <typename T>
    T* Get(int id) const {
        return qobject_cast<T*>(Find(id));
    }

private:
    QHash<int, QPointer<QWidget>> controls_;
};

// Builds the dialog's window and controls from its template.
DialogControls BuildDialog(QDialog& dialog, int templateId);

// A static text as the user sees it: "&&" shows as "&" and a single "&" only marks a mnemonic.
QString WithoutMnemonics(const QString& text);

}  // namespace quaymark::ui
