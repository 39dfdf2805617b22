#pragma once

#include "helper/protocol.h"

#include <chrono>
#include <optional>
#include <string>

#include <sys/types.h>

namespace helper {

// Empty when [program] exists and may be run; else one sentence for the
// user saying it is not there and how to get it back.
std::string helperProgramProblem(const std::string &program);

// "The encoder stopped unexpectedly (<what>)." - what a caller reports when
// a worker is lost.
std::string stoppedText(const std::string &what);

// Owns one file descriptor.
class UniqueFd
{
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd &&other) noexcept : m_fd(other.release()) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept;
    int get() const { return m_fd; }
    int release();
    void reset();

private:
    int m_fd = -1;
};

// One running velmora-worker, spoken to over a socket pair. Not thread-safe:
// one thread at a time. Destroying it kills and reaps a worker still running.
class HelperProcess
{
public:
    HelperProcess() = default;
    ~HelperProcess();
    HelperProcess(const HelperProcess &) = delete;
    HelperProcess &operator=(const HelperProcess &) = delete;

    // Starts [program] --library [library] --parent <this pid>. False with the
    // reason in [error] when it cannot be spawned. A running worker is ended first.
    bool start(const std::string &program, const std::string &library, std::string &error);
    bool running() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }
    // The program's end of the socket (non-blocking); -1 when none.
    int fd() const { return m_fd; }

    // False when the worker is gone (never raises SIGPIPE).
    bool send(const Message &message);
    // Reads what has arrived without blocking; false on end of file or a
    // read error (what came before it can still be taken with next()).
    bool read();
    // The next complete message read so far.
    std::optional<Message> next() { return m_decoder.next(); }
    // Whether the bytes read so far are no message (next() then yields nothing).
    bool damaged() const { return m_decoder.broken(); }

    // Ends the worker: lets it finish dying for [grace] (it closed its socket,
    // so it is most likely on its way out), then SIGKILL, then reaps it.
    // Returns how it ended in plain words ("segmentation fault", "it exited
    // with status 3"); empty when none was running.
    std::string stop(std::chrono::milliseconds grace = std::chrono::milliseconds(0));

private:
    pid_t m_pid = -1;
    UniqueFd m_socket;
    int m_fd = -1;
    Decoder m_decoder;
};

} // namespace helper
