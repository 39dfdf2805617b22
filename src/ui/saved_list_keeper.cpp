#include "ui/saved_list_keeper.h"

#include "settings/saved_list.h"

#include <algorithm>
#include <filesystem>
#include <utility>

namespace ui {

namespace {

constexpr std::chrono::milliseconds kEvery{1000};

} // namespace

SavedListKeeper::SavedListKeeper(core::EventLoop &loop, std::string path, std::function<core::JobList()> snapshot,
                                 bool held)
    : m_loop(loop)
    , m_path(std::move(path))
    , m_snapshot(std::move(snapshot))
    , m_held(held)
    , m_work(loop)
{
}

SavedListKeeper::~SavedListKeeper()
{
    m_loop.cancel(m_timer);
    m_work.forget();
}

void SavedListKeeper::changed()
{
    m_pending = true;
    // A write under way or one already timed takes this change along.
    if (m_held || m_removed || m_writing || m_timer != 0)
        return;
    const auto since = std::chrono::steady_clock::now() - m_lastWrite;
    const auto wait = std::max(std::chrono::duration_cast<std::chrono::milliseconds>(kEvery - since),
                               std::chrono::milliseconds(0));
    m_timer = m_loop.after(wait, [this] {
        m_timer = 0;
        save();
    });
}

void SavedListKeeper::resume()
{
    m_held = false;
    if (m_pending)
        changed();
}

void SavedListKeeper::remove()
{
    m_removed = true;
    m_loop.cancel(m_timer);
    m_timer = 0;
    m_work.forget();
    m_work.wait();
    std::error_code ignored;
    std::filesystem::remove(m_path, ignored);
}

void SavedListKeeper::save()
{
    if (m_removed || m_held)
        return;
    m_pending = false;
    m_writing = true;
    m_lastWrite = std::chrono::steady_clock::now();
    m_work.run<bool>(
        [path = m_path, jobs = m_snapshot()] {
            if (!jobs.isEmpty())
                return settings::writeSavedList(path, jobs);
            std::error_code ignored;
            return std::filesystem::remove(path, ignored);
        },
        [this](bool) {
            m_writing = false;
            if (m_pending)
                changed();
        });
}

} // namespace ui
