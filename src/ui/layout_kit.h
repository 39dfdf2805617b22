#pragma once

// The window's building blocks: each control made with its object name,
// caption, tool tip and place. Places are given in twips, as the layout was
// drawn; 15 twips make one pixel. The controls the settings keep take their
// items, ranges and first values from the control table (core::kControls).
//
// Every widget made here is owned by the parent it is given.

#include <QRect>
#include <QString>

#include <initializer_list>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QObject;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QWidget;

namespace ui::layout {

int px(int twips);
// A place in twips, in pixels.
QRect tw(int left, int top, int width, int height);

// Names [widget], sets its tool tip (none for a null or empty [tip]) and its
// place.
void place(QWidget *widget, const char *name, const char *tip, QRect geometry);
template <typename W>
W *placed(W *widget, const char *name, const char *tip, QRect geometry)
{
    place(widget, name, tip, geometry);
    return widget;
}

QLabel *label(QWidget *parent, const char *name, const char *caption, const char *tip, QRect geometry);
QPushButton *button(QWidget *parent, const char *name, const char *caption, const char *tip, QRect geometry);
QGroupBox *frame(QWidget *parent, const char *name, const char *caption, const char *tip, QRect geometry);
// The controls below are rows of the control table, named as there.
QLineEdit *textBox(QWidget *parent, const char *name, const char *tip, QRect geometry);
QCheckBox *checkBox(QWidget *parent, const char *name, const char *caption, const char *tip, QRect geometry);
QComboBox *combo(QWidget *parent, const char *name, const char *tip, QRect geometry);
// The value is stored when the thumb is let go (tracking off); while it is
// dragged only sliderMoved reports the position.
QScrollBar *bar(QWidget *parent, const char *name, QRect geometry);
// The value label beside the bar [barName], showing the bar's first value.
QLabel *barLabel(QWidget *parent, const char *barName, const char *tip, QRect geometry);

// An exclusive option group, owned by [owner]; its buttons are named
// "<name>_<index>".
QButtonGroup *optionGroup(QObject *owner, const char *name);
QRadioButton *option(QWidget *parent, QButtonGroup *group, int index, const char *caption, const char *tip,
                     QRect geometry);
// Checks the group's button that the control table lays out as selected.
void checkLaidOut(QButtonGroup *group);

// Shrinks [widget]'s font until the widest of [captions] fits its width with
// a small gap to spare.
void fitCaption(QLabel *widget, std::initializer_list<QString> captions);
// Shrinks a button's font until its caption, with its indicator, fits its place.
void fitButton(QAbstractButton *widget);

} // namespace ui::layout
