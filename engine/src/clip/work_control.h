#pragma once

// Stopping and watching work that runs long inside a single frame or audio
// request. Kept free of libav so that the script language can hand it on.

#include "clip/error.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace engine {

// Thrown by long work inside a frame or audio request when a stop was
// requested: the pass treats it as a stop, not as a failure.
class Stopped : public Error
{
public:
    Stopped() : Error("stopped before the end") {}
};

// Work that runs long inside a single frame or audio request (Reverse reads
// its whole input on the first one) can be stopped and watched through this.
// The script that made a graph creates one and hands it to every clip a
// script function returns; the pass pulling the graph takes it from the
// root clip.
//
// It numbers the picture sources the script opens, so that a frame can be
// followed back to the one it shows. It also gathers notes for the user about faults the work hid (a damaged
// stretch of a file made silent), which the pass hands on when it ends.
//
// Threading: requestStop(), stopRequested(), workTotal(), workDone(),
// note() and notes() may be called from any thread. setListener() is
// called before pulling starts; the listener runs on the pulling thread,
// inside advance().
class WorkControl
{
public:
    using Listener = std::function<void()>;

    // Makes long work throw Stopped at its next step.
    void requestStop() noexcept { m_stop.store(true); }
    bool stopRequested() const noexcept { return m_stop.load(); }

    // Long work announces its units (the pass's own: frames for video,
    // samples for audio) before it starts, then reports them as it goes.
    void addWork(std::int64_t units) noexcept { m_total.fetch_add(units); }
    // Reports done units, calls the listener, then throws Stopped when a
    // stop was requested.
    void advance(std::int64_t units)
    {
        m_done.fetch_add(units);
        if (m_listener)
            m_listener();
        if (stopRequested())
            throw Stopped();
    }

    std::int64_t workTotal() const noexcept { return m_total.load(); }
    std::int64_t workDone() const noexcept { return m_done.load(); }

    void setListener(Listener listener) { m_listener = std::move(listener); }

    // Picture sources are numbered in the order the script opens them (0
    // first): the number the next one gets, and counting one opened.
    int nextPictureSource() const noexcept { return m_pictureSources.load(); }
    void addPictureSource() noexcept { m_pictureSources.fetch_add(1); }

    // Adds a note, once: the same text told twice is kept once.
    void note(const std::string &text)
    {
        std::lock_guard lock(m_notesMutex);
        for (const std::string &known : m_notes)
            if (known == text)
                return;
        m_notes.push_back(text);
    }
    std::vector<std::string> notes() const
    {
        std::lock_guard lock(m_notesMutex);
        return m_notes;
    }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<std::int64_t> m_total{0};
    std::atomic<std::int64_t> m_done{0};
    std::atomic<int> m_pictureSources{0};
    Listener m_listener;
    mutable std::mutex m_notesMutex;
    std::vector<std::string> m_notes;
};

} // namespace engine
