#include "ui/input_list_panel.h"
#include "ui/qt_text.h"

#include "convert/batch_texts.h"

#include <QAction>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QListWidget>
#include <QMimeData>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QUrl>

#include <algorithm>
#include <array>

namespace ui {

namespace {

// The job's note on a time it was held to, kept with its entry.
constexpr int kTimeNoteRole = Qt::UserRole + 1;

// The local files among dropped URLs.
QStringList droppedFiles(const QMimeData *mime)
{
    QStringList files;
    if (mime == nullptr || !mime->hasUrls())
        return files;
    for (const QUrl &url : mime->urls()) {
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile())
            files.append(url.toLocalFile());
    }
    return files;
}

} // namespace

InputListPanel::InputListPanel(const Widgets &widgets, core::JobList &jobs)
    : m_widgets(widgets)
    , m_jobs(jobs)
{
    QListWidget *titles = m_widgets.titles;
    connect(m_widgets.add, &QPushButton::clicked, this, &InputListPanel::addClicked);
    connect(m_widgets.remove, &QPushButton::clicked, this, &InputListPanel::removeRequested);
    connect(titles, &QListWidget::currentRowChanged, this, [this](int row) {
        if (m_jobs.find(row) != nullptr)
            m_widgets.paths->setCurrentRow(row);
        emit currentChanged(row);
    });
    connect(titles, &QListWidget::itemSelectionChanged, this, &InputListPanel::selectionChanged);
    connect(titles, &QListWidget::itemDoubleClicked, this, &InputListPanel::entryDoubleClicked);
    titles->setContextMenuPolicy(Qt::ActionsContextMenu);
    titles->installEventFilter(this);
    titles->viewport()->installEventFilter(this);
    titles->viewport()->setAcceptDrops(true);
}

int InputListPanel::currentJob() const
{
    const int row = m_widgets.titles->currentRow();
    return m_jobs.find(row) != nullptr ? row : -1;
}

std::vector<int> InputListPanel::selectedJobs() const
{
    std::vector<int> rows;
    for (const QListWidgetItem *item : m_widgets.titles->selectedItems())
        if (const int row = m_widgets.titles->row(item); m_jobs.find(row) != nullptr)
            rows.push_back(row);
    std::sort(rows.begin(), rows.end());
    if (rows.empty() && currentJob() >= 0)
        rows.push_back(currentJob());
    return rows;
}

void InputListPanel::selectJob(int row)
{
    if (m_jobs.find(row) == nullptr)
        return;
    {
        // The job is loaded once, whether or not the row changes.
        const QSignalBlocker blocker(m_widgets.titles);
        m_widgets.paths->setCurrentRow(row);
        m_widgets.titles->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    }
    emit jobSelected(row);
}

bool InputListPanel::append(const std::string &title, const std::string &path, const core::JobSettings &record)
{
    if (!m_jobs.append(title, path, record))
        return false;
    clearJobStates();
    m_widgets.paths->addItem(qs(path));
    m_widgets.titles->addItem(qs(title));
    return true;
}

bool InputListPanel::appendKept(const core::JobEntry &entry)
{
    if (!m_jobs.append(entry))
        return false;
    m_widgets.paths->addItem(qs(entry.fullPath));
    m_widgets.titles->addItem(qs(entry.title));
    drawJobState(m_jobs.count() - 1);
    return true;
}

bool InputListPanel::removeSelected()
{
    const std::vector<int> rows = selectedJobs();
    if (rows.empty())
        return false;
    {
        const QSignalBlocker blocker(m_widgets.titles);
        // From the last, so that the rows still to go keep their places.
        for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
            m_jobs.removeAt(*row);
            delete m_widgets.paths->takeItem(*row);
            delete m_widgets.titles->takeItem(*row);
        }
    }
    clearJobStates();
    // An emptied list keeps showing the removed entry's values.
    if (const auto next = core::JobList::selectionAfterRemove(rows.front(), m_jobs.count()))
        selectJob(*next);
    return true;
}

void InputListPanel::setEditable(bool editable)
{
    m_widgets.add->setEnabled(editable);
    m_widgets.remove->setEnabled(editable);
}

void InputListPanel::setAddEnabled(bool enabled)
{
    m_widgets.add->setEnabled(enabled);
}

void InputListPanel::showJobState(int row, const core::JobStatus &status)
{
    if (m_jobs.find(row) == nullptr)
        return;
    m_jobs.setStatus(row, status);
    drawJobState(row);
    emit stateChanged();
}

core::JobState InputListPanel::jobState(int row) const
{
    const core::JobEntry *entry = m_jobs.find(row);
    return entry != nullptr ? entry->status.state : core::JobState::None;
}

void InputListPanel::clearJobState(int row)
{
    if (jobState(row) != core::JobState::None)
        showJobState(row, {});
}

void InputListPanel::clearJobStates()
{
    m_jobs.clearStatuses();
    for (int row = 0; row < m_widgets.titles->count(); ++row) {
        QListWidgetItem *item = m_widgets.titles->item(row);
        item->setIcon(QIcon());
        item->setToolTip({});
    }
}

std::vector<std::int32_t> InputListPanel::failedJobs() const
{
    std::vector<std::int32_t> rows;
    for (int row = 0; row < m_jobs.count(); ++row) {
        const core::JobState state = m_jobs.at(row).status.state;
        if (state == core::JobState::Failed || state == core::JobState::Stopped || state == core::JobState::Interrupted)
            rows.push_back(row);
    }
    return rows;
}

void InputListPanel::setTimeNote(int row, const QString &note)
{
    if (QListWidgetItem *item = m_widgets.titles->item(row)) {
        item->setData(kTimeNoteRole, note);
        drawJobState(row);
    }
}

void InputListPanel::drawJobState(int row)
{
    QListWidgetItem *item = m_widgets.titles->item(row);
    const core::JobEntry *entry = m_jobs.find(row);
    if (item == nullptr || entry == nullptr)
        return;
    // A job without a state keeps a blank icon, so the texts stay aligned.
    static const std::array<const char *, 7> kIcons{nullptr,
                                                    ":/velmora/state-waiting.svg",
                                                    ":/velmora/state-converting.svg",
                                                    ":/velmora/state-done.svg",
                                                    ":/velmora/state-failed.svg",
                                                    ":/velmora/state-stopped.svg",
                                                    ":/velmora/state-stopped.svg"};
    const core::JobStatus &status = entry->status;
    if (status.state == core::JobState::None) {
        QPixmap blank(m_widgets.titles->iconSize());
        blank.fill(Qt::transparent);
        item->setIcon(QIcon(blank));
    } else {
        item->setIcon(QIcon(qs(kIcons[static_cast<std::size_t>(status.state)])));
    }
    const QString note = item->data(kTimeNoteRole).toString();
    const QString tip = qs(core::statusTooltip(status));
    item->setToolTip(note.isEmpty() ? tip : tip.isEmpty() ? note : tip + QLatin1Char('\n') + note);
}

QAction *InputListPanel::addMenuAction(const char *name, const QString &text, const QKeySequence &keys)
{
    auto *action = new QAction(text, m_widgets.titles);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    m_widgets.titles->addAction(action);
    return action;
}

bool InputListPanel::eventFilter(QObject *watched, QEvent *event)
{
    QListWidget *titles = m_widgets.titles;
    if (watched == titles && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Delete) {
        emit removeRequested();
        return true;
    }
    if (watched != titles->viewport())
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        // Add is enabled exactly while the list may take files: no add and
        // no batch under way.
        auto *drag = static_cast<QDragMoveEvent *>(event);
        if (m_widgets.add->isEnabled() && !droppedFiles(drag->mimeData()).isEmpty())
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        const QStringList files = droppedFiles(drop->mimeData());
        if (files.isEmpty())
            return true;
        drop->acceptProposedAction();
        // Handed on after the drop has finished: the probe's messages must
        // not run inside the drag and drop exchange.
        QMetaObject::invokeMethod(this, [this, files] { emit filesDropped(files); }, Qt::QueuedConnection);
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

} // namespace ui
