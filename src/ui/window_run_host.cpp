#include "ui/window_run_host.h"

#include "settings/startup.h"
#include "ui/form1.h"
#include "ui/prompter.h"
#include "window/window_rules.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

namespace ui {

namespace {

QString qs(const std::string &text)
{
    return QString::fromStdString(text);
}

} // namespace

WindowRunHost::WindowRunHost(Form1 &window, Prompter &prompter)
    : m_window(window)
    , m_prompter(prompter)
{
}

template <typename W>
W *WindowRunHost::control(const char *name) const
{
    auto *widget = m_window.findChild<W *>(QString::fromLatin1(name));
    Q_ASSERT(widget != nullptr);
    return widget;
}

std::int32_t WindowRunHost::jobCount()
{
    return m_window.jobs().count();
}

std::optional<core::JobSelection> WindowRunHost::selectJob(std::int32_t index)
{
    if (m_window.jobs().find(index) == nullptr)
        return std::nullopt;
    m_window.selectJob(index);
    return core::jobSelection(m_window.jobs().at(index));
}

core::ScriptOutcome WindowRunHost::writeScript(const std::string &inputPath)
{
    const core::ScriptResult script = core::writeScript(m_window.scriptRequest(1, qs(inputPath)));
    if (script.result == 0)
        m_prompter.message(qs(core::scriptWarningText(script.warning)), QString::fromUtf8(core::kProgramName),
                           MessageIcon::Exclamation);
    return {.result = script.result, .run = script.run};
}

void WindowRunHost::setProgress(std::int32_t value)
{
    // The bar follows the hidden slider; it is set as well so that it shows
    // the value even when the slider already had it.
    control<QSlider>("Slider")->setValue(value);
    control<QProgressBar>("ProgressBar")->setValue(value);
}

void WindowRunHost::setPercentLabel(const std::string &text)
{
    control<QLabel>("LabelPercent")->setText(qs(text));
}

void WindowRunHost::setPassLabel(const std::string &text)
{
    control<QLabel>("LabelInfoPro")->setText(qs(text));
}

void WindowRunHost::setTimeLeftLabel(const std::string &text)
{
    control<QLabel>("LabelInfoTime")->setText(qs(text));
}

void WindowRunHost::showMessage(const std::string &text, const std::string &detail)
{
    m_prompter.messageWithDetail(qs(text), QString::fromUtf8(core::kProgramName), qs(detail));
}

void WindowRunHost::setStartVisible(bool visible)
{
    control<QPushButton>("cmdStart")->setVisible(visible);
}

void WindowRunHost::waitForEvents(std::chrono::milliseconds maxWait)
{
    // The timer's event ends the wait when nothing else comes; any other event
    // ends it sooner, once handled. The thread sleeps in the event dispatcher
    // meanwhile.
    QTimer limit;
    limit.setSingleShot(true);
    limit.setTimerType(Qt::PreciseTimer);
    limit.start(maxWait);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

bool WindowRunHost::stopRequested()
{
    return m_window.stopRequested();
}

void WindowRunHost::clearStopRequested()
{
    m_window.clearStopRequested();
}

bool WindowRunHost::closing()
{
    return m_window.closing();
}

void WindowRunHost::deleteTemporaryFiles()
{
    settings::deleteTempFiles(m_window.paths());
}

bool WindowRunHost::shutDownChecked()
{
    return control<QCheckBox>("ShutDownCheck")->isChecked();
}

} // namespace ui
