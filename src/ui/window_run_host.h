#pragma once

#include "convert/conversion_run.h"
#include "convert/run_log.h"
#include "settings/startup.h"

#include <QString>

#include <functional>

namespace ui {

class InputListPanel;
class Prompter;
class RunControls;

// The parts of the main window the conversion run drives, all borrowed: they
// must outlive the host.
struct RunHostParts
{
    RunControls &controls; // the progress strip, Start/Stop, the power-off check, the batch's menu
    InputListPanel &list;  // the jobs, their selection and their states
    core::LogFile &log;
    Prompter &prompter;    // the message boxes and the power-off countdown
    const settings::AppPaths &paths;
    // What the script writer needs for the video at the path, from the controls.
    std::function<core::ScriptRequest(const std::string &videoPath)> scriptRequest;
};

// The main window as the conversion run drives it: the job list and the
// script writer, the progress strip, the Start/Stop pair, the flags, the
// message boxes, the jobs' states, the run's log and the power-off countdown.
// Window's thread only.
class WindowRunHost final : public core::RunHost
{
public:
    explicit WindowRunHost(RunHostParts parts);

    std::int32_t jobCount() override;
    std::optional<core::JobSelection> selectJob(std::int32_t index) override;
    core::ScriptOutcome writeScript(const std::string &inputPath) override;

    void setProgress(std::int32_t value) override;
    void setPercentLabel(const std::string &text) override;
    void setPassLabel(const std::string &text) override;
    void setTimeLeftLabel(const std::string &text) override;
    void showMessage(const std::string &text, const std::string &detail) override;
    void setStartVisible(bool visible) override;

    void deleteTemporaryFiles() override;
    bool shutDownChecked() override;

    std::vector<core::JobEntry> jobEntries() override;
    bool askToStart(const std::string &text) override;
    void setJobState(std::int32_t index, const core::JobStatus &status) override;
    // As the time-left label's tooltip, below the label's own.
    void setBatchTimeLeft(const std::string &text) override;
    void appendLog(const std::string &text) override;
    std::string logPath() override;
    bool confirmPowerOff() override;
    // Resume is in the list's menu.
    bool canPause() override { return true; }
    // "Paused" where the pass's label was (it comes back on resume); what to
    // free where also in a box.
    void showPaused(const std::string &why) override;

private:
    RunHostParts m_parts;
};

} // namespace ui
