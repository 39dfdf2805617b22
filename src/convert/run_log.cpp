#include "convert/run_log.h"

#include "jobs/controls.h"

#include <ctime>
#include <fstream>
#include <iterator>
#include <system_error>
#include <utility>

namespace core {

namespace {

std::string localTime(std::chrono::system_clock::time_point at)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(at);
    std::tm parts{};
    localtime_r(&seconds, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

// The record's values that differ from a fresh record's, as "Key=value".
std::string differences(const JobSettings &settings)
{
    static const JobSettings defaults;
    std::string text;
    for (const Control &row : kControls) {
        std::string value;
        if (const auto *field = std::get_if<TextField>(&row.field)) {
            if (settings.*(*field) == defaults.*(*field))
                continue;
            value = settings.*(*field);
        } else if (const auto *whole = std::get_if<IntField>(&row.field)) {
            if (settings.*(*whole) == defaults.*(*whole))
                continue;
            value = std::to_string(settings.*(*whole));
        } else {
            continue;
        }
        text += (text.empty() ? "" : ", ") + std::string(row.key) + "=" + value;
    }
    return text;
}

bool startsRun(std::string_view log, std::size_t at)
{
    return (at == 0 || log[at - 1] == '\n') && log.substr(at).starts_with(kRunStartMark);
}

} // namespace

std::string logRunStart(std::chrono::system_clock::time_point at, std::int32_t jobCount)
{
    return std::string(kRunStartMark) + localTime(at) + ", " + std::to_string(jobCount) + " job(s) ===\n";
}

std::string logRunEnd(std::chrono::system_clock::time_point at, std::string_view summary)
{
    return "=== Run ended " + localTime(at) + ": " + std::string(summary) + " ===\n";
}

std::string logJobStart(std::int32_t index, std::int32_t count, std::string_view source,
                        const JobSettings &settings, std::string_view script)
{
    std::string text = "Job " + std::to_string(index + 1) + " of " + std::to_string(count) + ": "
                       + std::string(source) + "\n";
    text += logLine("Settings: " + differences(settings));
    if (script.empty())
        return text;
    text += logLine("Script:");
    // The script's own CR LF line ends become the log's.
    std::size_t start = 0;
    while (start < script.size()) {
        std::size_t end = script.find('\n', start);
        if (end == std::string_view::npos)
            end = script.size();
        std::string_view line = script.substr(start, end - start);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        text += "    " + std::string(line) + "\n";
        start = end + 1;
    }
    return text;
}

std::string logLine(std::string_view text)
{
    return "  " + std::string(text) + "\n";
}

std::string trimmedLog(std::string_view log, std::size_t limitBytes)
{
    std::size_t cut = 0;
    while (log.size() - cut > limitBytes) {
        std::size_t next = log.find(kRunStartMark, cut + 1);
        while (next != std::string_view::npos && !startsRun(log, next))
            next = log.find(kRunStartMark, next + 1);
        if (next == std::string_view::npos) {
            // One run alone is too long: keep its last whole lines.
            const std::size_t lineEnd = log.find('\n', log.size() - limitBytes - 1);
            cut = lineEnd == std::string_view::npos ? log.size() : lineEnd + 1;
            break;
        }
        cut = next;
    }
    return std::string(log.substr(cut));
}

LogFile::LogFile(std::filesystem::path path, std::size_t limitBytes)
    : m_path(std::move(path))
    , m_limitBytes(limitBytes)
{
}

LogFile::~LogFile()
{
    m_thread.request_stop();
    if (m_thread.joinable())
        m_thread.join();
}

void LogFile::append(std::string text)
{
    const std::lock_guard lock(m_mutex);
    m_queued += text;
    if (!m_thread.joinable())
        m_thread = std::jthread([this](std::stop_token stop) { work(stop); });
    m_changed.notify_all();
}

void LogFile::flush()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_queued.empty() && !m_writing; });
}

void LogFile::work(std::stop_token stop)
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        // Woken by an append or by the destructor; what is queued is written
        // before the thread ends.
        m_changed.wait(lock, stop, [this] { return !m_queued.empty(); });
        if (m_queued.empty())
            return;
        const std::string text = std::exchange(m_queued, {});
        m_writing = true;
        lock.unlock();
        write(text);
        lock.lock();
        m_writing = false;
        m_changed.notify_all();
    }
}

void LogFile::write(const std::string &text)
{
    {
        std::ofstream out(m_path, std::ios::binary | std::ios::app);
        if (!out.write(text.data(), static_cast<std::streamsize>(text.size())))
            return;
    }
    std::error_code error;
    if (std::filesystem::file_size(m_path, error) <= m_limitBytes || error)
        return;
    // Trimmed to three quarters, so that the next runs append before another trim.
    std::ifstream in(m_path, std::ios::binary);
    const std::string whole{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::string kept = trimmedLog(whole, m_limitBytes * 3 / 4);
    std::filesystem::path temporary = m_path;
    temporary += ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out.write(kept.data(), static_cast<std::streamsize>(kept.size()))) {
            std::filesystem::remove(temporary, error);
            return;
        }
    }
    std::filesystem::rename(temporary, m_path, error);
}

} // namespace core
