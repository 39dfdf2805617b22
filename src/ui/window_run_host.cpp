#include "ui/window_run_host.h"
#include "ui/qt_text.h"

#include "ui/input_list_panel.h"
#include "ui/prompter.h"
#include "ui/run_controls.h"
#include "window/window_rules.h"

namespace ui {

WindowRunHost::WindowRunHost(RunHostParts parts)
    : m_parts(std::move(parts))
{
}

std::int32_t WindowRunHost::jobCount()
{
    return m_parts.list.jobs().count();
}

std::optional<core::JobSelection> WindowRunHost::selectJob(std::int32_t index)
{
    if (m_parts.list.jobs().find(index) == nullptr)
        return std::nullopt;
    m_parts.list.selectJob(index);
    return core::jobSelection(m_parts.list.jobs().at(index));
}

core::ScriptOutcome WindowRunHost::writeScript(const std::string &inputPath)
{
    core::ScriptResult script = core::writeScript(m_parts.scriptRequest(inputPath));
    return {.result = script.result, .run = script.run, .warning = script.warning, .text = std::move(script.text)};
}

void WindowRunHost::setProgress(std::int32_t value)
{
    m_parts.controls.setProgress(value);
}

void WindowRunHost::setPercentLabel(const std::string &text)
{
    m_parts.controls.setPercentText(qs(text));
}

void WindowRunHost::setPassLabel(const std::string &text)
{
    m_parts.controls.setPassText(qs(text));
}

void WindowRunHost::setTimeLeftLabel(const std::string &text)
{
    m_parts.controls.setTimeLeftText(qs(text));
}

void WindowRunHost::showMessage(const std::string &text, const std::string &detail)
{
    m_parts.prompter.messageWithDetail(qs(text), qs(core::kProgramName), qs(detail));
}

void WindowRunHost::setStartVisible(bool visible)
{
    m_parts.controls.setStartVisible(visible);
}

void WindowRunHost::deleteTemporaryFiles()
{
    settings::deleteTempFiles(m_parts.paths);
}

bool WindowRunHost::shutDownChecked()
{
    return m_parts.controls.shutDownChecked();
}

std::vector<core::JobEntry> WindowRunHost::jobEntries()
{
    return m_parts.list.jobs().entries();
}

bool WindowRunHost::askToStart(const std::string &text)
{
    return m_parts.prompter.ask(qs(text), qs(core::kProgramName), qs(core::kStartOthersButton),
                                qs(core::kDoNotStartButton));
}

void WindowRunHost::setJobState(std::int32_t index, const core::JobStatus &status)
{
    m_parts.list.showJobState(index, status);
}

void WindowRunHost::setBatchTimeLeft(const std::string &text)
{
    m_parts.controls.setBatchTimeLeft(qs(text));
}

void WindowRunHost::appendLog(const std::string &text)
{
    m_parts.log.append(text);
}

std::string WindowRunHost::logPath()
{
    return m_parts.log.path().string();
}

void WindowRunHost::showPaused(const std::string &why)
{
    m_parts.controls.showPaused(!why.empty(), qs(core::kPausedText));
    if (!why.empty() && why != core::kPausedText)
        showMessage(why, {});
    m_parts.controls.refreshActions();
}

bool WindowRunHost::confirmPowerOff()
{
    return m_parts.prompter.powerOffCountdown(core::kPowerOffCountdownSec);
}

} // namespace ui
