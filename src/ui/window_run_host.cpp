#include "ui/window_run_host.h"
#include "ui/qt_text.h"

#include "settings/startup.h"
#include "ui/form1.h"
#include "ui/prompter.h"
#include "window/window_rules.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>

namespace ui {

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
    core::ScriptResult script = core::writeScript(m_window.scriptRequest(1, qs(inputPath)));
    return {.result = script.result, .run = script.run, .warning = script.warning, .text = std::move(script.text)};
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

void WindowRunHost::deleteTemporaryFiles()
{
    settings::deleteTempFiles(m_window.paths());
}

bool WindowRunHost::shutDownChecked()
{
    return control<QCheckBox>("ShutDownCheck")->isChecked();
}

std::vector<core::JobEntry> WindowRunHost::jobEntries()
{
    return m_window.jobs().entries();
}

bool WindowRunHost::askToStart(const std::string &text)
{
    return m_prompter.ask(qs(text), QString::fromUtf8(core::kProgramName), QString::fromUtf8(core::kStartOthersButton),
                          QString::fromUtf8(core::kDoNotStartButton));
}

void WindowRunHost::setJobState(std::int32_t index, const core::JobStatus &status)
{
    m_window.showJobState(index, status);
}

void WindowRunHost::setBatchTimeLeft(const std::string &text)
{
    auto *label = control<QLabel>("LabelInfoTime");
    const QString own = label->toolTip().section(QLatin1Char('\n'), 0, 0);
    label->setToolTip(text.empty() ? own : own + QLatin1Char('\n') + qs(text));
}

void WindowRunHost::appendLog(const std::string &text)
{
    m_window.runLog().append(text);
}

std::string WindowRunHost::logPath()
{
    return m_window.runLog().path().string();
}

void WindowRunHost::showPaused(const std::string &why)
{
    auto *label = control<QLabel>("LabelInfoPro");
    if (why.empty()) {
        label->setText(m_passLabel);
    } else {
        if (label->text() != QString::fromUtf8(core::kPausedText))
            m_passLabel = label->text();
        label->setText(QString::fromUtf8(core::kPausedText));
        if (why != core::kPausedText)
            showMessage(why, {});
    }
    m_window.refreshRunActions();
}

bool WindowRunHost::confirmPowerOff()
{
    return m_prompter.powerOffCountdown(core::kPowerOffCountdownSec);
}

} // namespace ui
