// Several jobs selected at once: a change of a control goes into every
// selected job and changes that one setting only; a control whose value
// differs between them says so on its label; a time window's start or end
// is held to each job's own length.

#include "ui/form1.h"
#include "ui/qt_text.h"

#include "ui/input_list_panel.h"

#include "jobs/number_text.h"
#include "jobs/time_text.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QLabel>

#include <algorithm>

namespace ui {

namespace {

// The visible label nearest to [widget] on its row: to its left, or to its right.
QLabel *labelBeside(const QWidget *widget, bool left)
{
    QLabel *best = nullptr;
    int bestGap = 0;
    const QRect own = widget->geometry();
    for (QLabel *label : widget->parentWidget()->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly)) {
        const QRect geometry = label->geometry();
        if (label->isHidden() || std::abs(geometry.center().y() - own.center().y()) > own.height())
            continue;
        const int gap = left ? own.left() - geometry.right() : geometry.left() - own.right();
        if (gap < -2 || (best != nullptr && gap >= bestGap))
            continue;
        best = label;
        bestGap = gap;
    }
    return best;
}

bool isTimeWindow(const core::Control &control)
{
    return control.name == "TextStartTime" || control.name == "TextEndTime";
}

} // namespace

void Form1::findCaptions()
{
    for (std::size_t row = 0; row < core::kControls.size(); ++row) {
        Bound &bound = m_bound[row];
        QWidget *shown = bound.widget;
        if (shown == nullptr && bound.group != nullptr && !bound.group->buttons().isEmpty())
            shown = bound.group->button(0);
        if (shown == nullptr)
            continue;
        bound.caption = labelBeside(shown, true);
        if (bound.caption != nullptr)
            bound.captionTip = bound.caption->toolTip();
        if (bound.group == nullptr && bound.label == nullptr)
            bound.unit = labelBeside(shown, false);
    }
}

std::vector<int> Form1::writeTargets() const
{
    const int current = selectedJob();
    if (current < 0)
        return {};
    if (m_loading)
        return {current};
    std::vector<int> rows = m_list->selectedJobs();
    if (!std::binary_search(rows.begin(), rows.end(), current))
        rows.insert(std::upper_bound(rows.begin(), rows.end(), current), current);
    return rows;
}

std::string Form1::timeForJob(std::size_t control, int row, const std::string &typed)
{
    if (!isTimeWindow(core::kControls[control]))
        return typed;
    const std::int32_t length = m_jobs.at(row).settings.totalTime;
    const std::optional<std::int32_t> seconds = core::parseWhole(typed);
    QString note;
    std::string held = typed;
    if (seconds && *seconds > length) {
        held = std::to_string(length);
        note = QStringLiteral("%1 held to %2, the length of this video")
                   .arg(core::kControls[control].name == "TextStartTime" ? QStringLiteral("Start") : QStringLiteral("End"),
                        qs(core::FrametoS(length)));
    }
    m_list->setTimeNote(row, note);
    return held;
}

void Form1::refreshMixedMarks()
{
    const std::vector<int> rows = m_list->selectedJobs();
    for (std::size_t row = 0; row < core::kControls.size(); ++row) {
        const core::Control &control = core::kControls[row];
        Bound &bound = m_bound[row];
        if (bound.caption == nullptr || !core::writesThrough(control))
            continue;
        // Each value as the control shows it, in the order the jobs come.
        QStringList values;
        for (const int job : rows) {
            const core::JobSettings &record = m_jobs.at(job).settings;
            QString text;
            if (const auto *field = std::get_if<core::TextField>(&control.field)) {
                text = qs(record.*(*field));
            } else {
                const std::int32_t value = record.*std::get<core::IntField>(control.field);
                if (!control.items.empty() && value >= 0 && static_cast<std::size_t>(value) < control.items.size())
                    text = qs(control.items[static_cast<std::size_t>(value)]);
                else if (bound.group != nullptr && bound.group->button(value) != nullptr)
                    text = bound.group->button(value)->text();
                else if (control.kind == core::ValueKind::CheckState)
                    text = value != 0 ? QStringLiteral("on") : QStringLiteral("off");
                else if (control.kind == core::ValueKind::BarValue)
                    text = qs(core::barLabelText(control, value));
                else
                    text = QString::number(value);
            }
            if (!values.contains(text))
                values.append(text);
        }
        const bool mixed = values.size() > 1;
        QFont font = bound.caption->font();
        font.setItalic(mixed);
        bound.caption->setFont(font);
        if (!mixed) {
            bound.caption->setToolTip(bound.captionTip);
            continue;
        }
        QString list = values.join(QStringLiteral(", "));
        if (bound.unit != nullptr)
            list += QLatin1Char(' ') + bound.unit->text();
        bound.caption->setToolTip(QStringLiteral("Differs between the %1 selected videos: %2").arg(rows.size()).arg(list));
    }
}

} // namespace ui
