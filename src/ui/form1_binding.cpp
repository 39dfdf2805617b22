// The control table at work in the window: every bound control writes through
// into the selected job, selecting a job loads its record into the controls,
// and the controls read back as a record.

#include "ui/form1.h"
#include "ui/qt_text.h"

#include "ui/input_list_panel.h"
#include "ui/logo_style.h"
#include "ui/time_window.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>

namespace ui {

namespace {

// The widget that shows a bound row.
enum class Widget { Combo, Text, Check, Bar, Options };

Widget widgetOf(core::ValueKind kind)
{
    switch (kind) {
    case core::ValueKind::ListIndex:
        return Widget::Combo;
    case core::ValueKind::CheckState:
        return Widget::Check;
    case core::ValueKind::BarValue:
        return Widget::Bar;
    case core::ValueKind::Option:
    case core::ValueKind::SwitchedOption:
        return Widget::Options;
    default:
        return Widget::Text;
    }
}

} // namespace

void Form1::bindControls()
{
    for (std::size_t row = 0; row < core::kControls.size(); ++row) {
        const core::Control &control = core::kControls[row];
        if (!core::writesThrough(control))
            continue;
        Bound &bound = m_bound[row];
        const Widget widget = widgetOf(control.kind);
        if (widget == Widget::Options)
            bound.group = findChild<QButtonGroup *>(qs(control.name));
        else
            bound.widget = findChild<QWidget *>(qs(control.name));
        if (!control.label.empty())
            bound.label = findChild<QLabel *>(qs(control.label));
        Q_ASSERT(bound.widget != nullptr || bound.group != nullptr);

        switch (widget) {
        case Widget::Combo:
            connect(static_cast<QComboBox *>(bound.widget), &QComboBox::currentIndexChanged, this,
                    [this, row] { store(row); });
            break;
        case Widget::Text:
            connect(static_cast<QLineEdit *>(bound.widget), &QLineEdit::textChanged, this, [this, row] { store(row); });
            break;
        case Widget::Check:
            connect(static_cast<QCheckBox *>(bound.widget), &QCheckBox::toggled, this, [this, row] { store(row); });
            break;
        case Widget::Bar: {
            auto *scroll = static_cast<QScrollBar *>(bound.widget);
            // Let go (or set by code, or an arrow or track click): store and label.
            connect(scroll, &QScrollBar::valueChanged, this, [this, row](int value) {
                store(row);
                showBarLabel(row, value);
            });
            // Dragged: the label follows; only some bars store on every step.
            connect(scroll, &QScrollBar::sliderMoved, this, [this, row](int position) {
                if (core::kControls[row].storesWhileDragging)
                    storeWhole(row, position);
                showBarLabel(row, position);
            });
            break;
        }
        case Widget::Options:
            connect(bound.group, &QButtonGroup::idToggled, this, [this, row](int id, bool checked) {
                if (!checked)
                    return;
                store(row);
                if (m_bound[row].group == m_optionInt)
                    switchIntroType(id);
            });
            break;
        }
    }
    findCaptions();
}

std::int32_t Form1::readWhole(std::size_t row) const
{
    const Bound &bound = m_bound[row];
    switch (widgetOf(core::kControls[row].kind)) {
    case Widget::Combo:
        return static_cast<QComboBox *>(bound.widget)->currentIndex();
    case Widget::Check:
        return static_cast<QCheckBox *>(bound.widget)->isChecked() ? 1 : 0;
    case Widget::Bar:
        return static_cast<QScrollBar *>(bound.widget)->value();
    case Widget::Options:
        return bound.group->checkedId();
    case Widget::Text:
        break;
    }
    return 0;
}

std::string Form1::readText(std::size_t row) const
{
    return static_cast<QLineEdit *>(m_bound[row].widget)->text().toStdString();
}

void Form1::writeControl(std::size_t row, const core::JobSettings &record)
{
    const core::Control &control = core::kControls[row];
    const Bound &bound = m_bound[row];
    if (const auto *text = std::get_if<core::TextField>(&control.field)) {
        static_cast<QLineEdit *>(bound.widget)->setText(qs(record.*(*text)));
        return;
    }
    const std::int32_t value = record.*std::get<core::IntField>(control.field);
    switch (widgetOf(control.kind)) {
    case Widget::Combo:
        static_cast<QComboBox *>(bound.widget)->setCurrentIndex(value);
        break;
    case Widget::Check:
        static_cast<QCheckBox *>(bound.widget)->setChecked(value != 0);
        break;
    case Widget::Bar:
        static_cast<QScrollBar *>(bound.widget)->setValue(value);
        break;
    case Widget::Options:
        if (QAbstractButton *button = bound.group->button(value))
            button->setChecked(true);
        break;
    case Widget::Text:
        break;
    }
}

void Form1::store(std::size_t row)
{
    const core::Field &field = core::kControls[row].field;
    if (const auto *text = std::get_if<core::TextField>(&field)) {
        const std::string typed = readText(row);
        writeToTargets(*text, [&](int target) {
            return target == selectedJob() ? typed : timeForJob(row, target, typed);
        });
        return;
    }
    storeWhole(row, readWhole(row));
}

void Form1::storeWhole(std::size_t row, std::int32_t value)
{
    const auto *field = std::get_if<core::IntField>(&core::kControls[row].field);
    if (field == nullptr)
        return;
    writeToTargets(*field, [value](int) { return value; });
}

template <typename T, typename ValueFor>
void Form1::writeToTargets(T core::JobSettings::*field, ValueFor valueFor)
{
    // That one setting, and only that one, into every job it goes to; a job
    // it changes loses its state.
    bool changed = false;
    for (const int target : writeTargets()) {
        core::JobEntry &entry = m_jobs.at(target);
        T value = valueFor(target);
        if (entry.settings.*field == value)
            continue;
        entry.settings.*field = std::move(value);
        m_list->clearJobState(target);
        changed = true;
    }
    if (changed) {
        refreshMixedMarks();
        emit shownSettingsChanged();
    }
}

void Form1::showBarLabel(std::size_t row, int value)
{
    if (QLabel *label = m_bound[row].label)
        label->setText(qs(core::barLabelText(core::kControls[row], value)));
}

core::JobSettings Form1::shownSettings() const
{
    core::JobSettings record;
    for (std::size_t row = 0; row < core::kControls.size(); ++row) {
        const core::Control &control = core::kControls[row];
        if (!core::writesThrough(control))
            continue;
        if (const auto *text = std::get_if<core::TextField>(&control.field)) {
            record.*(*text) = readText(row);
            continue;
        }
        const std::int32_t value = readWhole(row);
        // An option group with nothing checked keeps the record's value.
        if (widgetOf(control.kind) == Widget::Options && value < 0)
            continue;
        record.*std::get<core::IntField>(control.field) = value;
    }
    m_logo->store(record);
    record.totalTime = m_time->frameCount();
    return record;
}

core::ScriptRequest Form1::scriptRequest(std::int32_t mode, const QString &videoPath) const
{
    core::ScriptRequest request;
    request.mode = mode;
    request.videoPath = videoPath.toStdString();
    request.shown = shownSettings();
    request.logoFontSize = m_logo->font().pointSizeF();
    request.frameCount = m_time->frameCount();
    request.appFolder = m_appFolder.toStdString();
    request.scriptPath = m_scriptPath.toStdString();
    return request;
}

void Form1::loadJob(int row)
{
    const core::JobEntry *entry = m_jobs.find(row);
    if (entry == nullptr)
        return;
    // A copy: the controls' change handling writes into the entry as it
    // loads, and into it alone.
    const core::JobSettings record = entry->settings;
    m_loading = true;
    for (std::size_t i = 0; i < core::kControls.size(); ++i) {
        const core::Control &control = core::kControls[i];
        if (core::writesThrough(control))
            writeControl(i, record);
        else if (control.kind == core::ValueKind::ClipLength)
            m_time->load(record.totalTime); // after the start and end boxes
        else if (control.kind == core::ValueKind::FontName)
            m_logo->load(record); // the font rows have no write-through
    }
    m_loading = false;
    refreshMixedMarks();
}

void Form1::resetToDefaults(std::string_view section)
{
    const core::JobSettings defaults;
    for (std::size_t row = 0; row < core::kControls.size(); ++row) {
        const core::Control &control = core::kControls[row];
        if (control.section == section && core::writesThrough(control))
            writeControl(row, defaults);
    }
}

} // namespace ui
