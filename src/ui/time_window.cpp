#include "ui/time_window.h"
#include "ui/qt_text.h"

#include "jobs/number_text.h"
#include "jobs/time_text.h"
#include "ui/prompter.h"
#include "window/window_rules.h"

#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QToolButton>

namespace ui {

namespace {

QString secondsText(std::int32_t seconds)
{
    return qs(core::FrametoS(seconds));
}

} // namespace

TimeWindow::TimeWindow(const Widgets &widgets, Prompter &prompter)
    : m_widgets(widgets)
    , m_prompter(prompter)
{
    connect(m_widgets.setStart, &QToolButton::clicked, this, [this] { setAtSlider(Bound::Start); });
    connect(m_widgets.setEnd, &QToolButton::clicked, this, [this] { setAtSlider(Bound::End); });
    connect(m_widgets.slider, &QSlider::valueChanged, this,
            [this](int position) { m_widgets.position->setText(secondsText(position)); });
}

void TimeWindow::show(std::int32_t frameCountSec, std::int32_t startSec, std::int32_t endSec)
{
    m_widgets.total->setText(secondsText(frameCountSec));
    m_widgets.slider->setMaximum(core::sliderMaximum(frameCountSec));
    m_widgets.start->setText(secondsText(startSec));
    m_widgets.end->setText(secondsText(endSec));
}

void TimeWindow::refresh()
{
    // A box without a whole number shows as 00:00:00.
    const auto seconds = [](const QLineEdit *box) {
        return core::parseWhole(box->text().toStdString()).value_or(0);
    };
    show(m_frameCount, seconds(m_widgets.startBox), seconds(m_widgets.endBox));
}

void TimeWindow::load(std::int32_t lengthSec)
{
    m_frameCount = lengthSec;
    m_widgets.slider->setValue(0);
    m_widgets.position->setText(secondsText(0));
    refresh();
}

void TimeWindow::endAtFullLength()
{
    m_widgets.endBox->setText(QString::number(m_frameCount));
    refresh();
}

void TimeWindow::setAtSlider(Bound bound)
{
    const std::int32_t position = m_widgets.slider->value();
    const bool start = bound == Bound::Start;
    const std::string other = (start ? m_widgets.endBox : m_widgets.startBox)->text().toStdString();
    const core::TimeCheck check = start ? core::checkSetStart(position, other) : core::checkSetEnd(position, other);
    if (check == core::TimeCheck::Refused) {
        showError(m_prompter, start ? core::kStartAfterEndText : core::kEndBeforeStartText, core::kTimeErrorTitle);
        return;
    }
    (start ? m_widgets.startBox : m_widgets.endBox)->setText(QString::number(position));
    refresh();
}

} // namespace ui
