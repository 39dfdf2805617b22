#include "helper/helper_process.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace helper {

std::string helperProgramProblem(const std::string &program)
{
    if (::access(program.c_str(), X_OK) == 0)
        return {};
    return "The helper program \"" + program + "\" is missing or cannot be run (" + std::strerror(errno)
           + "). Build the program again with ./scripts/build.sh.";
}

std::string stoppedText(const std::string &what)
{
    return "The encoder stopped unexpectedly (" + what + ").";
}

namespace {

std::string describe(int status)
{
    if (WIFSIGNALED(status)) {
        const char *name = strsignal(WTERMSIG(status));
        std::string text = name != nullptr ? name : "signal " + std::to_string(WTERMSIG(status));
        if (!text.empty())
            text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
        return text;
    }
    return "it exited with status " + std::to_string(WEXITSTATUS(status));
}

} // namespace

UniqueFd &UniqueFd::operator=(UniqueFd &&other) noexcept
{
    if (this != &other) {
        reset();
        m_fd = other.release();
    }
    return *this;
}

int UniqueFd::release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

void UniqueFd::reset()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

HelperProcess::~HelperProcess()
{
    stop();
}

bool HelperProcess::start(const std::string &program, const std::string &library, std::string &error)
{
    stop();
    std::array<int, 2> pair{};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair.data()) != 0) {
        error = std::string("socketpair: ") + std::strerror(errno);
        return false;
    }
    UniqueFd ours(pair[0]);
    UniqueFd theirs(pair[1]);

    // dup2 clears close-on-exec on the copies, so only fds 0 and 1 reach the worker.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, theirs.get(), 0);
    posix_spawn_file_actions_adddup2(&actions, theirs.get(), 1);
    const std::string parent = std::to_string(::getpid());
    std::string programArg = program;
    std::string libraryArg = library;
    std::string libraryFlag = "--library";
    std::string parentFlag = "--parent";
    std::string parentArg = parent;
    std::array<char *, 6> argv{programArg.data(), libraryFlag.data(), libraryArg.data(),
                               parentFlag.data(),  parentArg.data(),  nullptr};
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        error = "posix_spawn: " + std::string(std::strerror(rc));
        return false;
    }
    ::fcntl(ours.get(), F_SETFL, ::fcntl(ours.get(), F_GETFL) | O_NONBLOCK);
    m_pid = pid;
    m_fd = ours.get();
    m_socket = std::move(ours);
    m_decoder = Decoder();
    return true;
}

bool HelperProcess::send(const Message &message)
{
    if (m_fd < 0)
        return false;
    const std::string frame = encode(message);
    std::size_t sent = 0;
    while (sent < frame.size()) {
        const ssize_t n = ::send(m_fd, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            // Requests are small; a full socket means a worker not reading.
            pollfd out{m_fd, POLLOUT, 0};
            if (::poll(&out, 1, 1000) <= 0)
                return false;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return false;
        }
    }
    return true;
}

bool HelperProcess::read()
{
    if (m_fd < 0)
        return false;
    std::array<char, 65536> buffer{};
    for (;;) {
        const ssize_t n = ::recv(m_fd, buffer.data(), buffer.size(), 0);
        if (n > 0) {
            m_decoder.feed(buffer.data(), static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        return false;
    }
}

std::string HelperProcess::stop(std::chrono::milliseconds grace)
{
    if (m_pid <= 0)
        return {};
    int status = 0;
    pid_t done = 0;
    const auto until = std::chrono::steady_clock::now() + grace;
    while ((done = ::waitpid(m_pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (done == 0) {
        ::kill(m_pid, SIGKILL);
        while ((done = ::waitpid(m_pid, &status, 0)) < 0 && errno == EINTR) {
        }
    }
    m_pid = -1;
    m_socket.reset();
    m_fd = -1;
    return done > 0 ? describe(status) : std::string("it could not be waited for");
}

} // namespace helper
