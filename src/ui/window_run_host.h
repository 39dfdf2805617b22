#pragma once

#include "convert/conversion_run.h"

#include <QString>

namespace ui {

class Form1;
class Prompter;

// The main window as the conversion run drives it: the job list and the
// script writer, the progress strip, the Start/Stop pair, the flags, the
// message boxes, the jobs' states, the run's log and the power-off countdown.
// Controls are found by their object names.
//
// Borrows [window] and [prompter], which must outlive it; window's thread only.
class WindowRunHost final : public core::RunHost
{
public:
    WindowRunHost(Form1 &window, Prompter &prompter);

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
    template <typename W>
    W *control(const char *name) const;

    Form1 &m_window;
    Prompter &m_prompter;
    QString m_passLabel; // LabelInfoPro's text before the batch was held
};

} // namespace ui
