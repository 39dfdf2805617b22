#include "helper/helper_encoder.h"

#include <algorithm>
#include <utility>

#include <array>
#include <cstdint>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace helper {

using Clock = std::chrono::steady_clock;

HelperEncoder::HelperEncoder(std::string workerPath, std::string libraryPath, Deadlines deadlines)
    : m_workerPath(std::move(workerPath))
    , m_libraryPath(std::move(libraryPath))
    , m_deadlines(deadlines)
    , m_abort(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

void HelperEncoder::abort()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_abort.get(), &one, sizeof one);
}

bool HelperEncoder::aborted()
{
    std::uint64_t count = 0;
    if (::read(m_abort.get(), &count, sizeof count) != static_cast<ssize_t>(sizeof count) || count == 0)
        return false;
    lose("it was cut short");
    m_lastError = "The encoder call was cut short.";
    return true;
}

bool HelperEncoder::wait(std::chrono::milliseconds timeout)
{
    std::array<pollfd, 2> fds{{{m_process.fd(), POLLIN, 0}, {m_abort.get(), POLLIN, 0}}};
    ::poll(fds.data(), fds.size(), static_cast<int>(timeout.count()));
    return !aborted();
}

void HelperEncoder::lose(const std::string &what)
{
    m_process.stop();
    m_lastError = stoppedText(what);
    m_passLost = m_passOpen;
    m_passOpen = false;
    m_progressSeen = false;
    m_percent = 100;
    m_secondsLeft = 0;
    m_frames = 0;
}

std::optional<Message> HelperEncoder::take(Kind kind)
{
    while (auto message = m_process.next()) {
        m_lastHeard = Clock::now();
        if (message->kind == Kind::Progress) {
            m_percent = message->number(0);
            m_secondsLeft = message->number(1);
            m_progressSeen = true;
        } else if (message->kind == kind) {
            return message;
        }
    }
    return std::nullopt;
}

std::optional<Message> HelperEncoder::ask(const Message &request, Kind kind, std::chrono::milliseconds deadline)
{
    if (aborted())
        return std::nullopt;
    if (!m_process.running()) {
        if (std::string problem = helperProgramProblem(m_workerPath); !problem.empty()) {
            m_lastError = std::move(problem);
            return std::nullopt;
        }
        std::string error;
        if (!m_process.start(m_workerPath, m_libraryPath, error)) {
            m_lastError = stoppedText(error);
            return std::nullopt;
        }
        m_lastHeard = Clock::now();
    }
    if (!m_process.send(request)) {
        lose(m_process.stop(std::chrono::milliseconds(200)));
        return std::nullopt;
    }
    const auto until = Clock::now() + deadline;
    for (;;) {
        if (auto reply = take(kind))
            return reply;
        if (m_process.damaged()) {
            lose("it sent a damaged message");
            return std::nullopt;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
        if (left.count() <= 0) {
            lose("it stopped answering");
            return std::nullopt;
        }
        if (!wait(left))
            return std::nullopt;
        if (!m_process.read()) {
            // Replies sent before it ended still count.
            if (auto reply = take(kind))
                return reply;
            lose(m_process.damaged() ? "it sent a damaged message" : m_process.stop(std::chrono::milliseconds(500)));
            return std::nullopt;
        }
    }
}

std::int32_t HelperEncoder::begin(const std::string &scriptPath, const std::string &outputPath,
                                  std::int32_t videoBitrate, std::int32_t audioBitrate, std::int32_t sampleRate,
                                  std::int32_t videoPass, std::int32_t mode)
{
    m_passLost = false;
    const auto reply = ask({Kind::Begin, {videoBitrate, audioBitrate, sampleRate, videoPass, mode}, {scriptPath, outputPath}},
                           Kind::Opened, m_deadlines.scan);
    if (!reply)
        return -1;
    const std::int32_t result = reply->number(0);
    m_frames = reply->number(1);
    m_lastError = reply->text(0);
    m_passOpen = result != -1;
    m_progressSeen = false;
    m_percent = m_passOpen ? 0 : 100;
    m_secondsLeft = 0;
    return result;
}

std::int32_t HelperEncoder::frame()
{
    return m_frames;
}

std::int32_t HelperEncoder::encoding()
{
    if (!m_passOpen || !m_process.running())
        return 100;
    // The worker reports each change and a heartbeat every second; silence
    // past the quick deadline means it is stuck inside the library.
    for (;;) {
        const bool open = m_process.read();
        while (take(Kind::Alive)) {
        }
        if (m_process.damaged()) {
            lose("it sent a damaged message");
            return 100;
        }
        if (!open) {
            lose(m_process.stop(std::chrono::milliseconds(500)));
            return 100;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(m_lastHeard + m_deadlines.quick - Clock::now());
        if (left.count() <= 0) {
            lose("it stopped answering");
            return 100;
        }
        if (m_progressSeen)
            return m_percent;
        if (!wait(left))
            return 100;
    }
}

std::int32_t HelperEncoder::leftTime()
{
    return m_passOpen ? m_secondsLeft : 0;
}

std::int32_t HelperEncoder::end()
{
    // No worker, no pass to end: unless one was lost, which counts as failed.
    if (!m_process.running()) {
        const bool lost = std::exchange(m_passLost, false);
        return lost ? -1 : 0;
    }
    const auto reply = ask({Kind::End, {}, {}}, Kind::Closed, m_deadlines.end);
    m_passOpen = false;
    m_passLost = false;
    if (!reply)
        return -1;
    m_lastError = reply->text(0);
    return reply->number(0);
}

std::int32_t HelperEncoder::getFrame(const std::string &scriptPath)
{
    const auto reply = ask({Kind::GetFrame, {}, {scriptPath}}, Kind::Length, m_deadlines.scan);
    if (!reply)
        return 0;
    m_lastError = reply->text(0);
    return reply->number(0);
}

std::string HelperEncoder::lastError()
{
    return m_lastError;
}

std::int32_t HelperEncoder::previewFrames(const std::string &scriptPath, std::string &error)
{
    const auto reply = ask({Kind::PreviewFrames, {}, {scriptPath}}, Kind::PreviewCount, m_deadlines.scan);
    if (!reply) {
        error = m_lastError;
        return -1;
    }
    error = reply->text(0);
    return reply->number(0);
}

std::int32_t HelperEncoder::preview(const std::string &scriptPath, std::int32_t index, std::vector<std::uint8_t> &rgb,
                                    std::int32_t &width, std::int32_t &height, std::string &error)
{
    width = height = 0;
    const auto reply = ask({Kind::Preview, {index}, {scriptPath}}, Kind::Picture, m_deadlines.scan);
    if (!reply) {
        error = m_lastError;
        return -1;
    }
    error = reply->text(1);
    width = reply->number(1);
    height = reply->number(2);
    if (reply->number(0) == 0) {
        const std::string &pixels = reply->text(0);
        rgb.assign(pixels.begin(), pixels.end());
    }
    return reply->number(0);
}

} // namespace helper
