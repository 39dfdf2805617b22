#include "ui/layout_kit.h"
#include "ui/qt_text.h"

#include "jobs/controls.h"
#include "jobs/number_text.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

#include <algorithm>
#include <string>

namespace ui::layout {

namespace {

constexpr int kTwipsPerPixel = 15;
constexpr int kSmallestFontPixels = 7;

// The table's row for the control [name]; every control the table lists takes
// its items, range and first value from there.
const core::Control &row(const char *name)
{
    const core::Control *control = core::findControl(name);
    Q_ASSERT(control != nullptr);
    return *control;
}

// The control's value before the settings file is read, as a number.
int layoutNumber(const core::Control &control)
{
    return core::parseWhole(core::layoutValue(control)).value_or(0);
}

} // namespace

int px(int twips)
{
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

QRect tw(int left, int top, int width, int height)
{
    return {px(left), px(top), px(width), px(height)};
}

void place(QWidget *widget, const char *name, const char *tip, QRect geometry)
{
    widget->setObjectName(qs(name));
    if (tip != nullptr && *tip != '\0')
        widget->setToolTip(qs(tip));
    widget->setGeometry(geometry);
}

QLabel *label(QWidget *parent, const char *name, const char *caption, const char *tip, QRect geometry)
{
    auto *widget = placed(new QLabel(qs(caption), parent), name, tip, geometry);
    widget->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    widget->setTextFormat(Qt::PlainText);
    return widget;
}

QPushButton *button(QWidget *parent, const char *name, const char *caption, const char *tip, QRect geometry)
{
    return placed(new QPushButton(qs(caption), parent), name, tip, geometry);
}

QGroupBox *frame(QWidget *parent, const char *name, const char *caption, const char *tip, QRect geometry)
{
    return placed(new QGroupBox(qs(caption), parent), name, tip, geometry);
}

QLineEdit *textBox(QWidget *parent, const char *name, const char *tip, QRect geometry)
{
    return placed(new QLineEdit(qs(core::layoutValue(row(name))), parent), name, tip, geometry);
}

QCheckBox *checkBox(QWidget *parent, const char *name, const char *caption, const char *tip, QRect geometry)
{
    auto *widget = placed(new QCheckBox(qs(caption), parent), name, tip, geometry);
    widget->setChecked(layoutNumber(row(name)) != 0);
    return widget;
}

QComboBox *combo(QWidget *parent, const char *name, const char *tip, QRect geometry)
{
    auto *widget = placed(new QComboBox(parent), name, tip, geometry);
    // A drop-down list whose text can also be typed; typing never adds items.
    widget->setEditable(true);
    widget->setInsertPolicy(QComboBox::NoInsert);
    for (const std::string_view item : row(name).items)
        widget->addItem(qs(item));
    widget->setCurrentIndex(-1); // the settings give the selection at start-up
    return widget;
}

QScrollBar *bar(QWidget *parent, const char *name, QRect geometry)
{
    const core::Control &control = row(name);
    auto *widget = placed(new QScrollBar(Qt::Horizontal, parent), name, nullptr, geometry);
    widget->setRange(control.range.minimum, control.range.maximum);
    widget->setSingleStep(1);
    widget->setPageStep(control.range.pageStep);
    widget->setValue(layoutNumber(control));
    widget->setTracking(false);
    return widget;
}

QLabel *barLabel(QWidget *parent, const char *barName, const char *tip, QRect geometry)
{
    const core::Control &control = row(barName);
    const std::string caption = core::barLabelText(control, layoutNumber(control));
    return label(parent, std::string(control.label).c_str(), caption.c_str(), tip, geometry);
}

QButtonGroup *optionGroup(QObject *owner, const char *name)
{
    auto *group = new QButtonGroup(owner);
    group->setObjectName(qs(name));
    group->setExclusive(true);
    return group;
}

QRadioButton *option(QWidget *parent, QButtonGroup *group, int index, const char *caption, const char *tip,
                     QRect geometry)
{
    auto *widget = new QRadioButton(qs(caption), parent);
    widget->setObjectName(group->objectName() + QLatin1Char('_') + QString::number(index));
    widget->setToolTip(qs(tip));
    widget->setGeometry(geometry);
    group->addButton(widget, index);
    return widget;
}

void checkLaidOut(QButtonGroup *group)
{
    const int index = layoutNumber(row(group->objectName().toUtf8().constData()));
    if (QAbstractButton *button = group->button(index))
        button->setChecked(true);
}

void fitCaption(QLabel *widget, std::initializer_list<QString> captions)
{
    constexpr int kGapPixels = 4;
    QFont face = widget->font();
    for (int pixels = QFontInfo(face).pixelSize(); pixels >= kSmallestFontPixels; --pixels) {
        face.setPixelSize(pixels);
        const QFontMetrics metrics(face);
        int widest = 0;
        for (const QString &caption : captions)
            widest = std::max(widest, metrics.horizontalAdvance(caption));
        if (widest + kGapPixels <= widget->width())
            break;
    }
    widget->setFont(face);
}

void fitButton(QAbstractButton *widget)
{
    QFont face = widget->font();
    for (int pixels = QFontInfo(face).pixelSize();
         widget->sizeHint().width() > widget->width() && pixels > kSmallestFontPixels; --pixels) {
        face.setPixelSize(pixels - 1);
        widget->setFont(face);
    }
}

} // namespace ui::layout
