#pragma once

#include "convert/event_loop.h"
#include "convert/offload.h"
#include "jobs/job_list.h"

#include <chrono>
#include <functional>
#include <string>

namespace ui {

// Keeps "Velmora.list" in step with the window's job list: a change asks for
// a save, changes close together are written as one, at most once a second,
// and the writing happens off the loop's thread. An empty list removes the
// file. Loop's thread only.
class SavedListKeeper
{
public:
    // [snapshot] gives the list as it is now; [held]: nothing is written
    // until resume() (the file on disk is still to be offered).
    SavedListKeeper(core::EventLoop &loop, std::string path, std::function<core::JobList()> snapshot, bool held);
    ~SavedListKeeper();
    SavedListKeeper(const SavedListKeeper &) = delete;
    SavedListKeeper &operator=(const SavedListKeeper &) = delete;

    const std::string &path() const { return m_path; }
    // The list changed: it is written soon.
    void changed();
    // Ends the hold; a change made meanwhile is written now.
    void resume();
    // A normal exit: nothing more is written and the file goes. Waits for a
    // write under way.
    void remove();

private:
    void save();

    core::EventLoop &m_loop;
    const std::string m_path;
    std::function<core::JobList()> m_snapshot;
    bool m_held;
    bool m_pending = false; // a change not yet written
    bool m_writing = false;
    bool m_removed = false;
    core::EventLoop::Handle m_timer = 0;
    std::chrono::steady_clock::time_point m_lastWrite{};
    core::Offload m_work; // last: waits for the write under way before the rest goes
};

} // namespace ui
