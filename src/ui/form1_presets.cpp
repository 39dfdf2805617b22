// Presets in the list's menu: the current job's settings saved under a name,
// and a preset's settings put into every selected job, each job keeping its
// own time window and the files made for its source.

#include "ui/form1.h"
#include "ui/qt_text.h"

#include "jobs/number_text.h"
#include "settings/presets.h"
#include "ui/input_list_panel.h"
#include "window/window_rules.h"

#include <QAction>

#include <filesystem>

namespace ui {

namespace {

// [value] put into [record] as the settings file would load it.
void setField(core::JobSettings &record, const settings::PresetValue &value)
{
    if (const auto *text = std::get_if<core::TextField>(&value.row->field))
        record.*(*text) = value.text;
    else if (const auto *whole = std::get_if<core::IntField>(&value.row->field))
        record.*(*whole) = core::parseWhole(value.text).value_or(record.*(*whole));
}

} // namespace

std::string Form1::presetsFolder() const
{
    return (std::filesystem::path(m_paths.settingsPath).parent_path() / settings::kPresetsFolderName).string();
}

void Form1::addPresetActions()
{
    connect(m_list->addMenuAction("actionSavePreset", QStringLiteral("Save settings as preset..."),
                                  QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E)),
            &QAction::triggered, this, [this] { savePreset(); });
    connect(m_list->addMenuAction("actionApplyPreset", QStringLiteral("Apply preset..."),
                                  QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A)),
            &QAction::triggered, this, [this] { applyPreset(); });
}

void Form1::savePreset()
{
    if (selectedJob() < 0)
        return;
    const QString title = QStringLiteral("Save settings as preset");
    const std::string name =
        m_prompter.inputText(title, QStringLiteral("Name of the preset for the settings of this video:")).trimmed().toStdString();
    if (name.empty())
        return;
    if (const std::string problem = core::presetNameProblem(name); !problem.empty()) {
        showError(problem, core::kErrorTitle);
        return;
    }
    const std::filesystem::path path =
        std::filesystem::path(presetsFolder()) / (name + std::string(settings::kPresetExtension));
    std::error_code error;
    if (std::filesystem::exists(path, error)) {
        if (!m_prompter.ask(qs("A preset named \"" + name + "\" exists already. Replace it?"), title,
                            QStringLiteral("Replace"), QStringLiteral("Cancel")))
            return;
        // Replaced, not merged: nothing of the old preset stays.
        std::filesystem::remove(path, error);
    }
    if (!settings::writePreset(path.string(), m_jobs.at(selectedJob()).settings))
        showError("The preset could not be written to " + path.string() + ". Check that its folder can be written.",
                  core::kErrorTitle);
}

void Form1::applyPreset()
{
    const std::vector<int> rows = m_list->selectedJobs();
    if (rows.empty() || m_converting)
        return;
    std::string names;
    for (const std::string &name : settings::presetNames(presetsFolder()))
        names += "\n  " + name;
    const std::string chosen =
        m_prompter
            .inputText(QStringLiteral("Apply preset"),
                       qs("Preset to apply to the " + std::to_string(rows.size()) + " selected video(s):"
                          + (names.empty() ? std::string("\n(no presets in ") + presetsFolder() + ")" : names)))
            .trimmed()
            .toStdString();
    if (chosen.empty())
        return;
    const std::string path = settings::findPreset(presetsFolder(), chosen);
    std::string error;
    const std::optional<settings::Preset> preset =
        path.empty() ? std::nullopt : settings::readPreset(path, error);
    if (!preset) {
        showError("No preset \"" + chosen + "\" can be read" + (error.empty() ? "." : ": " + error), core::kErrorTitle);
        return;
    }
    for (const int row : rows) {
        core::JobSettings &record = m_jobs.edit(row);
        for (const settings::PresetValue &value : preset->values)
            setField(record, value);
        m_list->drawJobState(row);
    }
    // The controls show the current job, now with the preset's values.
    loadJob(selectedJob());
    refreshMixedMarks();
    emit shownSettingsChanged();
    if (!preset->notes.empty()) {
        std::string text = "The preset was applied; some of its values were not:";
        for (const std::string &note : preset->notes)
            text += "\n" + note;
        m_prompter.message(qs(text), qs(core::kProgramName), MessageIcon::Exclamation);
    }
}

} // namespace ui
