#include "cli/reporter.h"

#include "jobs/number_text.h"

#include <algorithm>
#include <cmath>
#include <ostream>

namespace cli {

Reporter::Reporter(bool json, bool terminal, int columns, std::ostream &out, std::ostream &err)
    : m_json(json)
    , m_terminal(terminal && !json)
    , m_columns(columns > 0 ? static_cast<std::size_t>(std::max(columns, 20)) : 80)
    , m_out(out)
    , m_err(err)
{
}

void Reporter::started(const FileResult &file)
{
    if (m_json) {
        line("started", file.file, {});
        return;
    }
    erase();
    m_out << "started   " << file.file << "\n";
    if (m_terminal)
        m_running.push_back({file.file, "starting"});
    draw();
}

void Reporter::progress(const FileResult &file, std::int32_t pass, std::int32_t percent, const std::string &left)
{
    if (m_json) {
        line("progress", file.file,
             ",\"pass\":" + std::to_string(pass) + ",\"percent\":" + std::to_string(percent) +
                 ",\"time_left\":" + jsonString(left));
        return;
    }
    const std::string status = "pass " + std::to_string(pass) + " " + std::to_string(percent) + "%" +
                               (left.empty() ? std::string() : " " + left + " left");
    if (!m_terminal) {
        m_out << "progress  " << file.file << " " << status << "\n" << std::flush;
        return;
    }
    const auto running = std::find_if(m_running.begin(), m_running.end(),
                                      [&](const Running &entry) { return entry.file == file.file; });
    if (running == m_running.end())
        return;
    erase();
    running->status = status;
    draw();
}

void Reporter::ended(const FileResult &file)
{
    if (m_json) {
        if (file.state == FileResult::State::Converted)
            line("done", file.file,
                 ",\"output\":" + jsonString(file.output) + ",\"size\":" + std::to_string(file.bytes) +
                     ",\"seconds\":" + core::decimalText(std::round(file.seconds * 10) / 10));
        else
            line(file.state == FileResult::State::Stopped ? "stopped" : "failed", file.file,
                 ",\"reason\":" + jsonString(file.reason));
        return;
    }
    erase();
    std::erase_if(m_running, [&](const Running &entry) { return entry.file == file.file; });
    switch (file.state) {
    case FileResult::State::Converted:
        m_out << "done      " << file.file << " -> " << file.output << " (" << file.bytes << " bytes)\n";
        break;
    case FileResult::State::Stopped:
        m_out << "stopped   " << file.file << ": " << file.reason << "\n";
        break;
    case FileResult::State::Skipped:
        m_out << "skipped   " << file.file << ": " << file.reason << "\n";
        break;
    default:
        m_out << "failed    " << file.file << ": " << file.reason << "\n";
        break;
    }
    draw();
}

void Reporter::note(const std::string &text)
{
    if (m_json) {
        m_out << "{\"event\":\"note\",\"text\":" << jsonString(text) << "}\n" << std::flush;
        return;
    }
    // Standard error shares the terminal: the block steps aside for the note.
    erase();
    m_err << text << "\n" << std::flush;
    draw();
}

std::ostream &Reporter::tableStream()
{
    erase();
    m_running.clear();
    return m_json ? m_err : m_out;
}

void Reporter::line(const char *event, const std::string &file, const std::string &rest)
{
    m_out << "{\"event\":\"" << event << "\",\"file\":" << jsonString(file) << rest << "}\n" << std::flush;
}

void Reporter::erase()
{
    if (m_drawn == 0)
        return;
    // Up to the block's first line, then everything below goes.
    m_out << "\r\033[" << m_drawn << "A\033[J";
    m_drawn = 0;
}

void Reporter::draw()
{
    for (const Running &entry : m_running) {
        std::string text = entry.file + "  " + entry.status;
        if (text.size() >= m_columns) {
            // The end of the line says the most: the status, after the end of the name.
            std::size_t from = text.size() - (m_columns - 4);
            while (from < text.size() && (static_cast<unsigned char>(text[from]) & 0xC0) == 0x80)
                ++from; // not into the middle of a character
            text = "..." + text.substr(from);
        }
        m_out << text << "\n";
    }
    m_drawn = m_running.size();
    m_out << std::flush;
}

} // namespace cli
