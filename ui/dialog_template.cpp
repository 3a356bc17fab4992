#include "ui/dialog_template.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <limits>

#include "ui/artwork.h"
#include "ui/clip_player.h"

namespace quaymark::ui {
namespace {

QRect RectFrom(const QJsonValue& value) {
    const QJsonArray a = value.toArray();
    return QRect(a.at(0).toInt(), a.at(1).toInt(), a.at(2).toInt(), a.at(3).toInt());
}

QStringList StringsFrom(const QJsonValue& value) {
    QStringList strings;
    for (const QJsonValue& item : value.toArray()) {
        strings << item.toString();
    }
    return strings;
}

int MulDivRounded(int value, int numerator, int denominator) {
    return (value * numerator + (value >= 0 ? denominator / 2 : -denominator / 2)) / denominator;
}

bool HasMnemonic(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == u'&') {
            if (text[i + 1] != u'&') {
                return true;
            }
            ++i;
        }
    }
    return false;
}

Qt::WindowFlags WindowFlagsFor(const QStringList& styles) {
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint;
    if (styles.contains("caption")) {
        flags |= Qt::WindowTitleHint;
    } else {
        flags |= Qt::FramelessWindowHint;
    }
    if (styles.contains("sysmenu")) {
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    }
    if (styles.contains("minimizebox")) {
        flags |= Qt::WindowMinimizeButtonHint;
    }
    return flags;
}

// A click on the empty part of a list box, below its entries, leaves the selection as it is,
// as the original list boxes do.
class EmptyClickFilter : public QObject {
public:
    explicit EmptyClickFilter(QAbstractItemView* list) : QObject(list), list_(list) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::MouseMove: {
                const auto* mouse = static_cast<QMouseEvent*>(event);
                return !list_->indexAt(mouse->position().toPoint()).isValid();
            }
            default:
                return false;
        }
    }

private:
    QAbstractItemView* list_;
};

// A list box's looks and manners, for a list of items and for a view of a model alike.
template <typename List>
List* MakeListBox(QWidget* parent) {
    auto* list = new List(parent);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list->setUniformItemSizes(true);
    list->viewport()->installEventFilter(new EmptyClickFilter(list));
    return list;
}

QWidget* MakeStatic(const ControlTemplate& control, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const bool literal = control.styles.contains("noprefix");
    label->setText(literal ? control.text : WithoutMnemonics(control.text));
    return label;
}

QWidget* MakePicture(const ControlTemplate& control, QWidget* parent, const QRect& pixels) {
    auto* picture = new QLabel(parent);
    const QPixmap pixmap = Artwork(control.image, parent->devicePixelRatioF());
    picture->setPixmap(pixmap);
    if (control.styles.contains("centerimage")) {
        picture->setAlignment(Qt::AlignCenter);
    } else {
        // A picture control takes the size of its picture, as the original controls do.
        picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        picture->resize(pixmap.deviceIndependentSize().toSize());
        picture->move(pixels.topLeft());
    }
    if (control.styles.contains("transparentformouse")) {
        picture->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    return picture;
}

QWidget* MakeControl(const ControlTemplate& control, QWidget* parent, const QRect& pixels) {
    const QString& kind = control.kind;
    if (kind == "static") {
        return MakeStatic(control, parent);
    }
    if (kind == "button") {
        auto* button = new QPushButton(control.text, parent);
        // As on the original platform, a focused push button is what Enter clicks.
        button->setAutoDefault(true);
        button->setDefault(control.styles.contains("default"));
        return button;
    }
    if (kind == "edit") {
        auto* edit = new QLineEdit(parent);
        // Edit fields take text of any length, as the data they hold has none.
        edit->setMaxLength(std::numeric_limits<int>::max());
        return edit;
    }
    if (kind == "combobox") {
        // Offers its choices and takes a typed one too, of any length.
        auto* box = new QComboBox(parent);
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        box->lineEdit()->setMaxLength(std::numeric_limits<int>::max());
        return box;
    }
    if (kind == "checkbox") {
        return new QCheckBox(control.text, parent);
    }
    if (kind == "listbox") {
        return MakeListBox<QListWidget>(parent);
    }
    if (kind == "listview") {
        // A list box whose window gives it a model.
        return MakeListBox<QListView>(parent);
    }
    if (kind == "table") {
        // Rows to read and select whole; the window names the columns.
        auto* table = new QTableView(parent);
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
        table->setSelectionMode(QAbstractItemView::SingleSelection);
        table->verticalHeader()->hide();
        table->setWordWrap(false);
        return table;
    }
    if (kind == "progress") {
        auto* bar = new QProgressBar(parent);
        bar->setTextVisible(false);
        bar->setRange(0, 100);
        bar->setValue(0);
        return bar;
    }
    if (kind == "picture" || kind == "icon") {
        return MakePicture(control, parent, pixels);
    }
    if (kind == "groupbox") {
        auto* group = new QGroupBox(WithoutMnemonics(control.text), parent);
        group->lower();
        return group;
    }
    if (kind == "animation") {
        return new ClipPlayer(control.image, parent);
    }
    qFatal("dialog template: unknown control kind %s", qPrintable(kind));
}

}  // namespace

DialogTemplate LoadDialogTemplate(int templateId) {
    QFile file(QStringLiteral(":/dialogs/%1.json").arg(templateId));
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("dialog template %d is missing", templateId);
    }
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    DialogTemplate result;
    // A template is known by the number its file is named after.
    result.id = templateId;
    result.caption = root.value("caption").toString();
    const QJsonArray size = root.value("size").toArray();
    result.size = QSize(size.at(0).toInt(), size.at(1).toInt());
    result.fontPoints = root.value("font").toObject().value("points").toInt(8);
    result.styles = StringsFrom(root.value("styles"));
    for (const QJsonValue& value : root.value("controls").toArray()) {
        const QJsonObject object = value.toObject();
        ControlTemplate control;
        control.name = object.value("name").toString();
        control.kind = object.value("kind").toString();
        control.text = object.value("text").toString();
        control.image = object.value("image").toString();
        control.styles = StringsFrom(object.value("styles"));
        control.rect = RectFrom(object.value("rect"));
        result.controls.push_back(control);
    }
    return result;
}

QFont DialogFont(const DialogTemplate& dialogTemplate) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    // The templates' face at 8 points has the letter widths of Liberation Sans at 10 pixels.
    // A size in pixels keeps every text in its control alike on every screen and at every
    // scale.
    font.setPixelSize(dialogTemplate.fontPoints * 5 / 4);
    return font;
}

int DialogUnits::X(int dlu) const {
    return MulDivRounded(dlu, kBaseX, 4);
}
int DialogUnits::Y(int dlu) const {
    return MulDivRounded(dlu, kBaseY, 8);
}

QRect DialogUnits::ToPixels(const QRect& dluRect) const {
    return QRect(X(dluRect.x()), Y(dluRect.y()), X(dluRect.width()), Y(dluRect.height()));
}

void DialogControls::Add(const QString& name, QWidget* control) {
    if (name.isEmpty() || controls_.contains(name)) {
        qFatal("dialog template %d: a control without a name of its own", templateId_);
    }
    controls_.insert(name, control);
}

QWidget* DialogControls::Require(const char* name) const {
    QWidget* control = controls_.value(QString::fromUtf8(name));
    if (control == nullptr) {
        qFatal("dialog template %d has no control named \"%s\"", templateId_, name);
    }
    return control;
}

void DialogControls::WrongKind(const char* name, const QWidget* control, const char* wanted) const {
    qFatal("control \"%s\" of dialog template %d is a %s, not a %s", name, templateId_,
           control->metaObject()->className(), wanted);
}

QString WithoutMnemonics(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) {
            ++i;
        }
        shown += text[i];
    }
    return shown;
}

DialogControls BuildDialog(QDialog& dialog, int templateId) {
    return BuildDialog(dialog, LoadDialogTemplate(templateId));
}

DialogControls BuildDialog(QDialog& dialog, const DialogTemplate& t) {
    const QFont font = DialogFont(t);
    const DialogUnits units;
    dialog.setFont(font);
    dialog.setWindowFlags(WindowFlagsFor(t.styles));
    dialog.setWindowTitle(t.caption);
    dialog.setFixedSize(units.X(t.size.width()), units.Y(t.size.height()));

    DialogControls controls(t.id);
    std::vector<QWidget*> inOrder;
    QWidget* focusPrevious = nullptr;
    for (const ControlTemplate& control : t.controls) {
        const QRect pixels = units.ToPixels(control.rect);
        QWidget* widget = MakeControl(control, &dialog, pixels);
        if (!(control.kind == "picture" || control.kind == "icon") ||
            control.styles.contains("centerimage")) {
            widget->setGeometry(pixels);
        }
        // A control keeps the size its template gives it: a change of its text asks nothing
        // of the window's layout.
        widget->setFixedSize(widget->size());
        widget->setObjectName(control.name);
        widget->setFocusPolicy(control.styles.contains("tabstop") ? Qt::StrongFocus : Qt::NoFocus);
        controls.Add(control.name, widget);
        inOrder.push_back(widget);
        if (widget->focusPolicy() != Qt::NoFocus) {
            if (focusPrevious != nullptr) {
                QWidget::setTabOrder(focusPrevious, widget);
            }
            focusPrevious = widget;
        }
    }
    // A static text's mnemonic moves the focus to the control that follows it.
    for (std::size_t i = 0; i + 1 < inOrder.size(); ++i) {
        const ControlTemplate& control = t.controls[i];
        auto* label = qobject_cast<QLabel*>(inOrder[i]);
        if (label != nullptr && control.kind == "static" && !control.styles.contains("noprefix") &&
            HasMnemonic(control.text)) {
            label->setTextFormat(Qt::PlainText);
            label->setText(control.text);
            label->setBuddy(inOrder[i + 1]);
        }
    }
    return controls;
}

}  // namespace quaymark::ui
