// The job list kept in "Velmora.list" while it is not empty, and offered back
// when the program starts after a crash, a kill or a power cut.

#include "ui/form1.h"
#include "ui/qt_text.h"

#include "settings/saved_list.h"
#include "ui/input_list_panel.h"
#include "ui/qt_event_loop.h"
#include "ui/saved_list_keeper.h"

#include <chrono>
#include <filesystem>

namespace ui {

void Form1::keepListSaved()
{
    // Beside the log, wherever that had to go.
    const std::string path = (m_log.path().parent_path() / settings::kSavedListFileName).string();
    std::error_code ignored;
    const bool found = std::filesystem::exists(path, ignored);
    m_savedList = std::make_unique<SavedListKeeper>(*m_loop, path, [this] { return m_jobs; }, found);
    connect(this, &Form1::shownSettingsChanged, this, [this] { listChanged(); });
    // Asked once the window is up, never while it is being made.
    if (found)
        m_loop->post([this] { offerSavedList(); });
}

void Form1::listChanged()
{
    if (m_savedList && !m_closingFlag)
        m_savedList->changed();
}

void Form1::dropSavedList()
{
    if (m_savedList)
        m_savedList->remove();
}

void Form1::offerSavedList()
{
    if (m_closingFlag)
        return;
    settings::RestoredList restored = settings::readSavedList(m_savedList->path());
    if (const std::string notes = restored.notesLine(); !notes.empty())
        m_log.append(core::logLine(notes));
    int done = 0;
    std::vector<std::int32_t> toConvert;
    for (int i = 0; i < restored.jobs.count(); ++i) {
        const core::JobState state = restored.jobs.at(i).status.state;
        if (state == core::JobState::Done)
            ++done;
        else if (state != core::JobState::Failed)
            toConvert.push_back(i);
    }
    int choice = 2; // nothing to restore: the file goes
    if (!restored.jobs.isEmpty()) {
        const QString left = QString::number(toConvert.size());
        choice = m_prompter.askThree(QStringLiteral("The last list of %1 videos was not closed properly: %2 converted, "
                                                    "%3 not yet. Continue converting the %3 videos?")
                                         .arg(restored.jobs.count())
                                         .arg(done)
                                         .arg(left),
                                     qs(core::kProgramName), QStringLiteral("Continue"),
                                     QStringLiteral("Restore the list"), QStringLiteral("Discard"));
    }
    // The box let events run: the window may be closing now.
    if (m_closingFlag)
        return;
    if (choice == 2) {
        std::error_code ignored;
        std::filesystem::remove(m_savedList->path(), ignored);
        m_savedList->resume();
        return;
    }
    // After the jobs of the list as it stands (files given on the command line).
    const int first = m_jobs.count();
    for (const core::JobEntry &entry : restored.jobs.entries()) {
        if (!m_list->appendKept(entry))
            break;
    }
    if (m_list->currentJob() < 0)
        m_list->selectJob(first);
    m_savedList->resume();
    listChanged();
    if (choice == 0 && !toConvert.empty()) {
        for (std::int32_t &position : toConvert)
            position += first;
        startRestored(std::move(toConvert));
    }
}

void Form1::startRestored(std::vector<std::int32_t> positions)
{
    if (m_closingFlag)
        return;
    // Files given on the command line may have begun their add while the
    // question was up; the batch starts once they are in.
    if (adding()) {
        m_loop->after(std::chrono::milliseconds(200),
                      [this, positions = std::move(positions)]() mutable { startRestored(std::move(positions)); });
        return;
    }
    startConversion(std::move(positions));
}

} // namespace ui
