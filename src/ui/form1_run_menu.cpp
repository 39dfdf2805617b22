// The list's menu for a batch under way or done: Stop after this video,
// Pause/Resume, Convert again, Convert the failed videos again. They sit in
// the list's context menu with their shortcuts, so the window's captions and
// layout stay as they are.

#include "convert/conversion_run.h"
#include "ui/form1.h"

#include <QAction>
#include <QListWidget>
#include <QSignalBlocker>

namespace ui {

namespace {

QAction *listAction(QListWidget *list, const char *name, const QString &text, const QKeySequence &keys)
{
    auto *action = new QAction(text, list);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    list->addAction(action);
    return action;
}

} // namespace

void Form1::addRunActions()
{
    m_stopAfterAction = listAction(m_list, "actionStopAfter", QStringLiteral("Stop after this video"),
                                   QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    m_stopAfterAction->setCheckable(true);
    connect(m_stopAfterAction, &QAction::toggled, this, [this](bool on) { m_run->stopAfterCurrent(on); });

    m_pauseAction = listAction(m_list, "actionPause", QStringLiteral("Pause"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    connect(m_pauseAction, &QAction::triggered, this, [this] {
        if (m_run->paused())
            m_run->resume();
        else
            m_run->pause();
        refreshRunActions();
    });

    m_againAction = listAction(m_list, "actionConvertAgain", QStringLiteral("Convert again"),
                               QKeySequence(Qt::CTRL | Qt::Key_R));
    connect(m_againAction, &QAction::triggered, this, [this] {
        if (const int row = selectedJob(); row >= 0 && !m_converting)
            showJobState(row, core::JobStatus::waiting());
    });

    m_failedAgainAction = listAction(m_list, "actionConvertFailedAgain", QStringLiteral("Convert the failed videos again"),
                                     QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    connect(m_failedAgainAction, &QAction::triggered, this, [this] {
        if (const std::vector<std::int32_t> jobs = failedJobs(); !jobs.empty())
            startConversion(jobs);
    });
    refreshRunActions();
    addPresetActions();
}

void Form1::refreshRunActions()
{
    if (m_pauseAction == nullptr)
        return;
    const bool running = m_run != nullptr && m_run->running();
    const bool paused = running && m_run->paused();
    m_stopAfterAction->setEnabled(running);
    if (!running) {
        const QSignalBlocker quiet(m_stopAfterAction);
        m_stopAfterAction->setChecked(false);
    }
    m_pauseAction->setEnabled(running);
    m_pauseAction->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    m_againAction->setEnabled(!running);
    m_failedAgainAction->setEnabled(!running);
}

std::vector<std::int32_t> Form1::failedJobs() const
{
    std::vector<std::int32_t> jobs;
    for (int row = 0; row < m_jobs.count(); ++row) {
        const core::JobState state = m_jobs.at(row).status.state;
        if (state == core::JobState::Failed || state == core::JobState::Stopped || state == core::JobState::Interrupted)
            jobs.push_back(row);
    }
    return jobs;
}

} // namespace ui
