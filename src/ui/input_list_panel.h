#pragma once

#include "jobs/job_list.h"

#include <QObject>
#include <QStringList>

#include <cstdint>
#include <vector>

class QAction;
class QKeySequence;
class QListWidget;
class QPushButton;

namespace ui {

// The input video list: Listmp3 shows the jobs' titles, the hidden Listmp3dir
// their full paths, row for row as in the job list. Several entries may be
// selected (Ctrl+click, Shift+click, Ctrl+A, Shift+arrows, Ctrl+Space); the
// current one is the one the controls show. Each entry's state in the batch
// is drawn as an icon and a tooltip, its text unchanged. Files dropped on the
// list, Add, Remove and the Delete key are requests for the window, which
// decides whether the list may change now.
//
// Borrows the widgets (the window's) and [jobs], which must outlive it; the
// job list's rows and the entries are kept in step here. Window's thread only.
class InputListPanel final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InputListPanel)

public:
    struct Widgets
    {
        QListWidget *titles = nullptr; // Listmp3
        QListWidget *paths = nullptr;  // Listmp3dir
        QPushButton *add = nullptr;    // cmdOpenVideo
        QPushButton *remove = nullptr; // cmdRemove
    };

    InputListPanel(const Widgets &widgets, core::JobList &jobs);

    const core::JobList &jobs() const { return m_jobs; }

    // The current entry's position, -1 when there is none.
    int currentJob() const;
    // The selected positions in list order; the current one when none is.
    std::vector<int> selectedJobs() const;
    // Makes [row] the current and only selected entry and emits jobSelected
    // (not currentChanged), whether or not the row changes.
    void selectJob(int row);

    // Appends a job and its entry and clears every job's state; false (and
    // nothing changes) when the list is full.
    bool append(const std::string &title, const std::string &path, const core::JobSettings &record);
    // Appends a job kept from an earlier run, with its state.
    bool appendKept(const core::JobEntry &entry);
    // Removes the selected jobs and selects a neighbour; false when none is selected.
    bool removeSelected();

    // Add and Remove: disabled while a batch runs.
    void setEditable(bool editable);
    // Add alone: disabled while an add is under way.
    void setAddEnabled(bool enabled);

    // A job's state, drawn on its entry; emits stateChanged.
    void showJobState(int row, const core::JobStatus &status);
    core::JobState jobState(int row) const;
    // An edited job is no longer what its state says.
    void clearJobState(int row);
    // The jobs "Convert the failed videos again" runs: failed, stopped, interrupted.
    std::vector<std::int32_t> failedJobs() const;
    // A time the job was held to, said below its state; empty: none.
    void setTimeNote(int row, const QString &note);
    // The entry's icon and tooltip from the job's state and its time note.
    void drawJobState(int row);

    // An entry of the list's context menu, with its window-wide shortcut;
    // owned by the list.
    QAction *addMenuAction(const char *name, const QString &text, const QKeySequence &keys);

signals:
    void addClicked();
    // Remove or the Delete key.
    void removeRequested();
    // Local files dropped on the list, after the drop has finished.
    void filesDropped(const QStringList &files);
    // The user made another entry the current one.
    void currentChanged(int row);
    // selectJob() made [row] the current one.
    void jobSelected(int row);
    void selectionChanged();
    void entryDoubleClicked();
    void stateChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void clearJobStates();

    Widgets m_widgets;
    core::JobList &m_jobs;
};

} // namespace ui
