#pragma once

// The run's log, "Velmora.log" beside the settings file: every run appends
// what it did, and the file keeps only the newest runs that fit its size.

#include "jobs/job_settings.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace core {

inline constexpr const char *kLogFileName = "Velmora.log";
inline constexpr std::size_t kLogLimitBytes = 1024 * 1024;
// Every run's first line starts with this; trimming cuts in front of it.
inline constexpr std::string_view kRunStartMark = "=== Run started ";

// The lines of the log, each ending in "\n". [at] is local time.
std::string logRunStart(std::chrono::system_clock::time_point at, std::int32_t jobCount);
std::string logRunEnd(std::chrono::system_clock::time_point at, std::string_view summary);
// The job's source, its settings that differ from a fresh record's ("Key=value",
// named by their keys in the settings file), and the script the encoder got.
std::string logJobStart(std::int32_t index, std::int32_t count, std::string_view source,
                        const JobSettings &settings, std::string_view script);
std::string logLine(std::string_view text); // "  text\n"

// [log] cut down to at most [limitBytes]: whole runs are dropped from the
// front, oldest first; a single run longer than the limit keeps its last
// lines. A log within the limit comes back unchanged.
std::string trimmedLog(std::string_view log, std::size_t limitBytes);

// Appends text to the log file on a thread of its own, so the caller never
// waits for the disk. The thread starts with the first append. A file that
// cannot be written is skipped silently; the log never fails anything.
class LogFile
{
public:
    explicit LogFile(std::filesystem::path path, std::size_t limitBytes = kLogLimitBytes);
    // Writes what is still queued.
    ~LogFile();
    LogFile(const LogFile &) = delete;
    LogFile &operator=(const LogFile &) = delete;

    const std::filesystem::path &path() const { return m_path; }
    // Queues [text]; returns at once. Any thread.
    void append(std::string text);
    // Blocks until everything queued so far is on disk (or given up).
    void flush();

private:
    void work(std::stop_token stop);
    void write(const std::string &text);

    const std::filesystem::path m_path;
    const std::size_t m_limitBytes;
    std::mutex m_mutex;
    std::condition_variable_any m_changed;
    std::string m_queued;
    bool m_writing = false;
    std::jthread m_thread; // last: stopped and joined before the members it uses go
};

} // namespace core
