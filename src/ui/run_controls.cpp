#include "ui/run_controls.h"

#include "convert/conversion_run.h"
#include "ui/input_list_panel.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

namespace ui {

RunControls::RunControls(const Widgets &widgets)
    : m_widgets(widgets)
{
    connect(m_widgets.start, &QPushButton::clicked, this, &RunControls::startClicked);
    connect(m_widgets.stop, &QPushButton::clicked, this, [this] {
        if (m_run != nullptr)
            m_run->stop();
    });
    connect(m_widgets.quit, &QPushButton::clicked, this, &RunControls::quitClicked);
}

void RunControls::addMenuActions(InputListPanel &list)
{
    m_stopAfter = list.addMenuAction("actionStopAfter", QStringLiteral("Stop after this video"),
                                     QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    m_stopAfter->setCheckable(true);
    connect(m_stopAfter, &QAction::toggled, this, [this](bool on) {
        if (m_run != nullptr)
            m_run->stopAfterCurrent(on);
    });

    m_pause = list.addMenuAction("actionPause", QStringLiteral("Pause"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    connect(m_pause, &QAction::triggered, this, [this] {
        if (m_run == nullptr)
            return;
        if (m_run->paused())
            m_run->resume();
        else
            m_run->pause();
        refreshActions();
    });

    m_again = list.addMenuAction("actionConvertAgain", QStringLiteral("Convert again"), QKeySequence(Qt::CTRL | Qt::Key_R));
    connect(m_again, &QAction::triggered, this, &RunControls::convertAgain);

    m_failedAgain = list.addMenuAction("actionConvertFailedAgain", QStringLiteral("Convert the failed videos again"),
                                       QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    connect(m_failedAgain, &QAction::triggered, this, &RunControls::convertFailedAgain);
    refreshActions();
}

void RunControls::setRun(core::ConversionRun &run)
{
    m_run = &run;
    refreshActions();
}

void RunControls::refreshActions()
{
    if (m_pause == nullptr)
        return;
    const bool running = m_run != nullptr && m_run->running();
    const bool paused = running && m_run->paused();
    m_stopAfter->setEnabled(running);
    if (!running) {
        const QSignalBlocker quiet(m_stopAfter);
        m_stopAfter->setChecked(false);
    }
    m_pause->setEnabled(running);
    m_pause->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    m_again->setEnabled(!running);
    m_failedAgain->setEnabled(!running);
}

void RunControls::setProgress(int value)
{
    // The bar follows the hidden slider; it is set as well so that it shows
    // the value even when the slider already had it.
    m_widgets.progressSlider->setValue(value);
    m_widgets.progress->setValue(value);
}

void RunControls::setPercentText(const QString &text)
{
    m_widgets.percent->setText(text);
}

void RunControls::setPassText(const QString &text)
{
    m_widgets.pass->setText(text);
}

void RunControls::setTimeLeftText(const QString &text)
{
    m_widgets.timeLeft->setText(text);
}

void RunControls::setBatchTimeLeft(const QString &text)
{
    QLabel *label = m_widgets.timeLeft;
    const QString own = label->toolTip().section(QLatin1Char('\n'), 0, 0);
    label->setToolTip(text.isEmpty() ? own : own + QLatin1Char('\n') + text);
}

void RunControls::showPaused(bool paused, const QString &pausedText)
{
    QLabel *label = m_widgets.pass;
    if (!paused) {
        label->setText(m_passText);
        return;
    }
    if (label->text() != pausedText)
        m_passText = label->text();
    label->setText(pausedText);
}

void RunControls::setStartVisible(bool visible)
{
    m_widgets.start->setVisible(visible);
}

bool RunControls::shutDownChecked() const
{
    return m_widgets.shutDown->isChecked();
}

} // namespace ui
