#pragma once

#include "convert/batch_texts.h"
#include "convert/encoder_services.h"
#include "convert/keep_awake.h"
#include "convert/power_off.h"
#include "convert/run_log.h"
#include "jobs/controls.h"
#include "jobs/job_list.h"
#include "preview/preview_source.h"
#include "script/script_writer.h"
#include "window/window_rules.h"
#include "settings/startup.h"
#include "ui/file_pickers.h"
#include "ui/prompter.h"

#include <QFont>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>
#include <memory>
#include <optional>
#include <cstdint>
#include <string_view>

class QButtonGroup;
class QGroupBox;
class QLabel;

namespace core {
class ConversionRun;
class Offload;
} // namespace core

namespace ui {

class InputListPanel;
class LogoStyle;
class PreviewWindow;
class QtEventLoop;
class RunControls;
class SavedListKeeper;
class TimeWindow;
class WindowRunHost;
class WindowSettings;

// The main window: the input list, the six setting panels, the progress strip
// and Start/Stop/Quit. Every control's objectName is the name users and tests
// know it by (FRCombo, Listmp3, OptionSel_0, FrameSetting_2 ...).
//
// The controls always show one set of settings: while the list is empty the
// values the next added file copies, afterwards the selected job's record.
// Every change of a bound control (by the user or by code) is stored at once
// into the selected job's record.
//
// Creating the window is the program's start-up: the temporary files of an
// earlier run in [programFolder] are deleted, "Velmora.ini" there is loaded
// into the controls and the window is centred. Closing it by any means is the
// exit: the encoder is stopped, the temporary files deleted and the settings
// saved, also in the middle of a conversion.
//
// The window's rooms each keep their own widgets and handlers: the input
// list (InputListPanel), the time window (TimeWindow), the file pickers
// (FilePickers), the logo's style (LogoStyle) and the run's controls
// (RunControls). The window itself lays them out, binds the setting
// controls to the jobs and carries out the add, the run and the exit.
//
// Collaborators are borrowed and must outlive the window. Everything runs on
// the window's thread; the encoder library works in helper processes, and
// the window never waits for one: it reacts to their answers as events.
class Form1 final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Form1)

public:
    Form1(core::EncoderServices &encoders, Prompter &prompter, core::PowerOff &powerOff,
          const QString &programFolder, QWidget *parent = nullptr);
    // The same with the folders resolved: the settings, the log and the
    // temporary files where [paths] puts them.
    Form1(core::EncoderServices &encoders, Prompter &prompter, core::PowerOff &powerOff, settings::AppPaths paths,
          QWidget *parent = nullptr);
    ~Form1() override;

    // --- the conversion run
    // Start: begins converting every job in list order and returns at once;
    // the batch moves on as the helpers answer. Does nothing while a run or
    // an add is under way. Add and Remove are disabled for the run's length.
    void startConversion(std::vector<std::int32_t> only = {});
    // Stop: the pass under way is cut short and the batch ends.
    void stopConversion();
    bool converting() const { return m_converting; }
    // An add is probing its files.
    bool adding() const { return m_add.has_value(); }

    // --- the job list
    const core::JobList &jobs() const { return m_jobs; }
    // The selected position of Listmp3, -1 when nothing is selected.
    int selectedJob() const;
    // Selects [row] and loads its record into the controls, as a click does.
    void selectJob(int row);
    // The add sequence for files chosen together: probe each (off the
    // window's thread, one after another), append the good ones as their
    // answers come, report the refused ones. Returns at once. Files dropped
    // on the list come here too.
    void addVideoFiles(const QStringList &paths);
    // Removes the selected jobs (no question asked) and selects a neighbour.
    void removeSelectedJob();

    // Each entry's state in the batch, kept by the job list and drawn as an
    // icon and a tooltip, the entry's text unchanged. Editing the job clears
    // its state, changing the list clears them all; they are not saved.
    void showJobState(int row, const core::JobStatus &status);
    core::JobState jobState(int row) const;

    // "Velmora.log" in the state folder (beside the settings file in a
    // writable program folder).
    core::LogFile &runLog() { return m_log; }

    // The controls as a job record: what a newly added file records.
    core::JobSettings shownSettings() const;
    // What the script writer needs for [videoPath] from the controls.
    core::ScriptRequest scriptRequest(std::int32_t mode, const QString &videoPath) const;

    // --- switches
    void switchPanel(int index);     // shows FrameSetting_<index> only
    void switchIntroType(int index); // 0 video, else image

    // --- the rooms' state, as the settings file names it
    // The shown clip's length in seconds.
    std::int32_t frameCount() const;
    void setFrameCount(std::int32_t seconds);
    QFont logoFont() const;
    void setLogoFont(const QFont &font);
    std::int32_t logoColour() const; // 0x00BBGGRR
    void setLogoColour(std::int32_t colour);
    PickerFolders &pickerFolders();

    // The program folder (ending in "/"), the other folders and the
    // temporary files.
    const settings::AppPaths &paths() const { return m_paths; }
    const QString &appFolder() const { return m_appFolder; }
    const QString &scriptPath() const { return m_scriptPath; }
    const QString &m1vPath() const { return m_m1vPath; }
    const QString &mp2Path() const { return m_mp2Path; }

    // True once the window has begun to close; never cleared.
    bool closing() const { return m_closingFlag; }
    // Selects the power-off method; this platform has a single one.
    std::int32_t glngWhichWindows32() const { return m_glngWhichWindows32; }

    void centreOnScreen();

    // --- the sleep lock
    // Held while a batch converts (borrowed; null, the default: the computer
    // may sleep). Set before the first Start.
    void setKeepAwake(core::KeepAwake *lock) { m_keepAwake.lock = lock; }

    // --- the preview
    // Where preview pictures come from (borrowed; null: no preview).
    void setPreviewSource(core::PreviewSource *source) { m_previewSource = source; }
    // Opens the one preview window for the selected job (double-click in
    // the list, its "Preview" entry, Ctrl+P), beside this one.
    void openPreview();

signals:
    // The selection or a setting the controls show has changed.
    void shownSettingsChanged();

    // The window has been unloaded: the encoder is stopped, the temporary files
    // are deleted and the settings saved.
    void unloading();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // A bound control's widgets, at the index of its row in core::kControls
    // (all null for a row without write-through).
    struct Bound
    {
        QWidget *widget = nullptr;     // null for an option group
        QButtonGroup *group = nullptr; // option groups only
        QLabel *label = nullptr;       // a bar's value label
        QLabel *caption = nullptr;     // the label that names it, left of it on its row
        QLabel *unit = nullptr;        // the unit right of it ("fps"), if any
        QString captionTip;            // the caption's own tooltip
    };

    // form1_layout.cpp: every control in its place, and the rooms made over
    // the widgets laid out for them.
    void buildLayout();
    void buildParameterPanel(QGroupBox *panel);
    void buildOutputTimePanel(QGroupBox *panel, FilePickers::Widgets &pickers);
    void buildColourPanel(QGroupBox *panel);
    void buildAudioPanel(QGroupBox *panel);
    void buildExternPanel(QGroupBox *panel, FilePickers::Widgets &pickers);
    void buildIntroPanel(QGroupBox *panel, FilePickers::Widgets &pickers);

    void bindControls(); // form1_binding.cpp
    void connectCommands();
    // Start-up after the controls exist.
    void loadHandling();
    // The settings file's view of the window.
    WindowSettings settingsTarget();

    // form1_presets.cpp: Save settings as preset..., Apply preset...
    void addPresetActions();
    void savePreset();
    void applyPreset();
    // "Presets" beside the settings file.
    std::string presetsFolder() const;

    // form1_binding.cpp: the control table at work.
    std::int32_t readWhole(std::size_t row) const;
    std::string readText(std::size_t row) const;
    void writeControl(std::size_t row, const core::JobSettings &record);
    void store(std::size_t row);
    void storeWhole(std::size_t row, std::int32_t value);
    // Sets field to valueFor(job) in every job a change goes into.
    template <typename T, typename ValueFor>
    void writeToTargets(T core::JobSettings::*field, ValueFor valueFor);
    void showBarLabel(std::size_t row, int value);
    void loadJob(int row);
    // form1_selection.cpp: several jobs selected at once.
    // The jobs a change of a control goes into: while a job is being loaded,
    // that job only; else every selected job and the current one.
    std::vector<int> writeTargets() const;
    // A time window's start or end for job [row], held to the job's length;
    // notes on the job where it was.
    std::string timeForJob(std::size_t control, int row, const std::string &typed);
    // Labels of the controls whose value differs between the selected jobs
    // in italics, with the values in their tooltips.
    void refreshMixedMarks();
    void findCaptions();
    // The Default buttons: the bound controls of the settings file's
    // [section] take their defaults.
    void resetToDefaults(std::string_view section);

    // form1_saved_list.cpp: the list kept in "Velmora.list" and offered back.
    void keepListSaved();
    void listChanged();
    void dropSavedList();
    void offerSavedList();
    // Starts the restored jobs at [positions] once no add is under way.
    void startRestored(std::vector<std::int32_t> positions);

    // The add sequence's parts.
    void openVideoFiles();
    void probeNextFile();
    void fileProbed(std::int32_t length, const std::string &warning, const std::string &reason);
    void appendJob(const std::string &title, const std::string &path);
    // The helpers cannot run: says so (true) before anything is tried.
    bool helperMissing();
    void showError(const std::string &text, const char *title);

    // What the run is given: passes its acquire and release on to the lock
    // set, so the lock can come after the run is made.
    struct KeepAwakeSlot final : core::KeepAwake
    {
        core::KeepAwake *lock = nullptr;
        std::string acquire(const std::string &why) override { return lock ? lock->acquire(why) : std::string(); }
        void release() override
        {
            if (lock)
                lock->release();
        }
    };

    core::EncoderServices &m_encoders;
    Prompter &m_prompter;
    core::PowerOff &m_powerOff;
    core::JobList m_jobs;

    settings::AppPaths m_paths;
    QString m_appFolder;
    QString m_scriptPath;
    QString m_m1vPath;
    QString m_mp2Path;
    core::LogFile m_log;
    bool m_closingFlag = false;
    bool m_loading = false; // a job's record is being put into the controls
    bool m_converting = false; // a conversion run is under way
    std::int32_t m_glngWhichWindows32 = 1;

    std::array<Bound, core::kControlCount> m_bound{};
    std::array<QGroupBox *, 6> m_panels{};
    QButtonGroup *m_optionSel = nullptr;
    QButtonGroup *m_optionCha = nullptr;
    QButtonGroup *m_optionInt = nullptr;
    QButtonGroup *m_optionFade = nullptr;

    // The rooms, over widgets the window owns.
    std::unique_ptr<InputListPanel> m_list;
    std::unique_ptr<TimeWindow> m_time;
    std::unique_ptr<FilePickers> m_pickers;
    std::unique_ptr<LogoStyle> m_logo;
    std::unique_ptr<RunControls> m_runControls;

    // Declared before what uses it, so it goes last.
    std::unique_ptr<QtEventLoop> m_loop;
    std::unique_ptr<core::EncoderChannel> m_passes;
    std::unique_ptr<core::Encoder> m_checkProber; // the run's check, on its own thread
    std::unique_ptr<WindowRunHost> m_runHost;
    KeepAwakeSlot m_keepAwake;
    std::unique_ptr<core::ConversionRun> m_run;
    std::unique_ptr<core::Encoder> m_addProber;   // the add's probes, on their own thread
    std::unique_ptr<core::Offload> m_addWork;
    std::optional<core::AddSequence> m_add;       // the add under way
    core::ScriptRequest m_addRequest;             // the panel's probe request, taken when the add began
    std::unique_ptr<SavedListKeeper> m_savedList;

    core::PreviewSource *m_previewSource = nullptr;
    PreviewWindow *m_preview = nullptr; // a child window, made on first use
};

} // namespace ui
