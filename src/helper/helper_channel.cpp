#include "helper/helper_channel.h"

#include <utility>

#include <csignal>

#include <poll.h>

namespace helper {

using Clock = std::chrono::steady_clock;

HelperChannel::HelperChannel(core::EventLoop &loop, std::string workerPath, std::string libraryPath,
                             ChannelBounds bounds)
    : m_loop(loop)
    , m_workerPath(std::move(workerPath))
    , m_libraryPath(std::move(libraryPath))
    , m_bounds(bounds)
    , m_self(std::make_shared<HelperChannel *>(this))
{
}

HelperChannel::~HelperChannel()
{
    unwatch();
    disarm();
    // m_process kills and reaps a worker still running.
}

void HelperChannel::setListener(Listener listener)
{
    m_listener = std::move(listener);
}

void HelperChannel::later(std::function<void(HelperChannel &)> fn)
{
    std::weak_ptr<HelperChannel *> self = m_self;
    m_loop.post([self, fn = std::move(fn)] {
        if (const auto alive = self.lock())
            fn(**alive);
    });
}

void HelperChannel::arm(std::chrono::milliseconds bound)
{
    disarm();
    m_bound = bound;
    std::weak_ptr<HelperChannel *> self = m_self;
    m_timer = m_loop.after(bound, [self] {
        if (const auto alive = self.lock()) {
            (*alive)->m_timer = 0;
            (*alive)->lose("it stopped answering");
        }
    });
}

void HelperChannel::disarm()
{
    if (m_timer != 0)
        m_loop.cancel(std::exchange(m_timer, 0));
}

void HelperChannel::unwatch()
{
    if (m_watch != 0)
        m_loop.cancel(std::exchange(m_watch, 0));
}

void HelperChannel::open(const core::PassArgs &args)
{
    if (m_shutDown)
        return;
    if (!m_process.running()) {
        std::string problem = helperProgramProblem(m_workerPath);
        if (problem.empty() && !m_process.start(m_workerPath, m_libraryPath, problem))
            problem = stoppedText(problem);
        if (!problem.empty()) {
            later([problem](HelperChannel &self) {
                if (auto opened = self.m_listener.opened)
                    opened(-1, 0, problem);
            });
            return;
        }
        unwatch();
        m_watch = m_loop.watch(m_process.fd(), [this] { onReadable(); });
    }
    m_phase = Phase::Opening;
    arm(m_bounds.open);
    if (!m_process.send({Kind::Begin,
                         {args.videoBitrate, args.audioBitrate, args.sampleRate, args.videoPass, args.mode},
                         {args.scriptPath, args.outputPath}})) {
        // Its death shows on the socket too; report it from there, with the cause.
        later([](HelperChannel &self) { self.onReadable(); });
    }
}

void HelperChannel::pause()
{
    if (m_paused || !m_process.running() || m_phase == Phase::Idle)
        return;
    m_paused = true;
    disarm();
    ::kill(m_process.pid(), SIGSTOP);
}

void HelperChannel::resume()
{
    if (!std::exchange(m_paused, false))
        return;
    if (m_process.running())
        ::kill(m_process.pid(), SIGCONT);
    if (m_phase != Phase::Idle)
        arm(m_bound);
}

void HelperChannel::close(std::chrono::milliseconds bound)
{
    // A stopped worker cannot answer.
    resume();
    if (m_shutDown || m_phase == Phase::Closing)
        return;
    if (!m_process.running()) {
        // No worker: no pass to end (a lost one has had its event).
        later([](HelperChannel &self) {
            if (auto closed = self.m_listener.closed)
                closed(0, {}, {});
        });
        return;
    }
    m_phase = Phase::Closing;
    arm(bound);
    if (!m_process.send({Kind::End, {}, {}}))
        later([](HelperChannel &self) { self.onReadable(); });
}

void HelperChannel::shutdown(std::chrono::milliseconds bound)
{
    resume();
    m_shutDown = true;
    unwatch();
    disarm();
    if (m_process.running() && m_phase != Phase::Idle) {
        // End the pass so the library closes its output; wait for the answer at most [bound].
        bool sent = m_phase == Phase::Closing || m_process.send({Kind::End, {}, {}});
        const auto until = Clock::now() + bound;
        bool closed = false;
        while (sent && !closed) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
            pollfd in{m_process.fd(), POLLIN, 0};
            if (left.count() <= 0 || ::poll(&in, 1, static_cast<int>(left.count())) <= 0)
                break;
            sent = m_process.read();
            while (auto message = m_process.next())
                closed = closed || message->kind == Kind::Closed;
        }
    }
    m_phase = Phase::Idle;
    m_process.stop();
}

void HelperChannel::lose(const std::string &what)
{
    unwatch();
    disarm();
    m_process.stop();
    const bool inFlight = m_phase != Phase::Idle;
    m_phase = Phase::Idle;
    if (inFlight)
        if (auto lost = m_listener.lost)
            lost(what);
}

void HelperChannel::onReadable()
{
    if (!m_process.running())
        return;
    const bool open = m_process.read();
    std::weak_ptr<HelperChannel *> self = m_self;
    while (auto message = m_process.next()) {
        if (!dispatch(*message) || self.expired())
            return;
        if (!m_process.running())
            return; // a listener's call ended it
    }
    if (m_process.damaged())
        lose("it sent a damaged message");
    else if (!open)
        lose(m_process.stop(std::chrono::milliseconds(500)));
}

bool HelperChannel::dispatch(const Message &message)
{
    std::weak_ptr<HelperChannel *> self = m_self;
    switch (message.kind) {
    case Kind::Opened:
        if (m_phase != Phase::Opening)
            break;
        m_phase = message.number(0) == -1 ? Phase::Idle : Phase::Running;
        if (m_phase == Phase::Running)
            arm(m_bounds.silence);
        else
            disarm();
        if (auto opened = m_listener.opened)
            opened(message.number(0), message.number(1), message.text(0));
        break;
    case Kind::Progress:
        if (m_phase != Phase::Running)
            break;
        arm(m_bounds.silence);
        if (auto progress = m_listener.progress)
            progress(message.number(0), message.number(1));
        break;
    case Kind::Alive:
        if (m_phase == Phase::Running)
            arm(m_bounds.silence);
        break;
    case Kind::Closed:
        if (m_phase != Phase::Closing)
            break;
        disarm();
        m_phase = Phase::Idle;
        if (auto closed = m_listener.closed)
            closed(message.number(0), message.text(0), message.text(1));
        break;
    default:
        break;
    }
    return !self.expired();
}

} // namespace helper
