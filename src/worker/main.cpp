// velmora-worker: serves the encoder library to the program over fds 0 and 1,
// so that a library that crashes or hangs takes down this process, not the
// program. One thread: every library call is made here, one at a time, in
// the order a caller on a single thread would make them.

#include "helper/protocol.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <dlfcn.h>
#include <poll.h>
#include <unistd.h>

namespace {

using helper::Kind;
using helper::Message;
using Clock = std::chrono::steady_clock;

using BeginFn = std::int32_t (*)(const char *, const char *, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                                 std::int32_t);
using CountFn = std::int32_t (*)();
using PathFn = std::int32_t (*)(const char *);
using TextFn = const char *(*)();
using PreviewFn = std::int32_t (*)(const char *, std::int32_t, std::uint8_t *, std::int32_t, std::int32_t *,
                                   std::int32_t *);

struct Library
{
    std::string loadError; // empty when the six required entry points are bound
    BeginFn begin = nullptr;
    CountFn frame = nullptr;
    CountFn encoding = nullptr;
    CountFn leftTime = nullptr;
    CountFn end = nullptr;
    PathFn getFrame = nullptr;
    TextFn lastError = nullptr;
    TextFn notes = nullptr;
    PathFn previewFrames = nullptr;
    PreviewFn preview = nullptr;

    std::string lastErrorText() const { return text(lastError); }
    std::string notesText() const { return text(notes); }

    static std::string text(TextFn fn)
    {
        const char *t = fn != nullptr ? fn() : nullptr;
        return t != nullptr ? std::string(t) : std::string();
    }
};

template <typename Fn>
Fn resolve(void *handle, const char *name)
{
    return reinterpret_cast<Fn>(::dlsym(handle, name));
}

// The library stays loaded for the life of the process: no dlclose, as a
// pass's threads may still run inside it when the process ends.
Library load(const std::string &file)
{
    Library lib;
    void *handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char *why = ::dlerror();
        lib.loadError = "The encoder library \"" + file + "\" cannot be loaded: " + (why != nullptr ? why : "");
        return lib;
    }
    lib.begin = resolve<BeginFn>(handle, "Encode_Begin");
    lib.frame = resolve<CountFn>(handle, "Encode_Frame");
    lib.encoding = resolve<CountFn>(handle, "Encode_Encoding");
    lib.leftTime = resolve<CountFn>(handle, "Encode_GetLeftTime");
    lib.end = resolve<CountFn>(handle, "Encode_End");
    lib.getFrame = resolve<PathFn>(handle, "Encode_GetFrame");
    lib.lastError = resolve<TextFn>(handle, "Encode_GetLastError");
    lib.notes = resolve<TextFn>(handle, "Encode_GetNotes");
    lib.previewFrames = resolve<PathFn>(handle, "Encode_PreviewFrames");
    lib.preview = resolve<PreviewFn>(handle, "Encode_Preview");
    const std::pair<const char *, bool> required[] = {
        {"Encode_Begin", lib.begin != nullptr},       {"Encode_Frame", lib.frame != nullptr},
        {"Encode_Encoding", lib.encoding != nullptr}, {"Encode_GetLeftTime", lib.leftTime != nullptr},
        {"Encode_End", lib.end != nullptr},           {"Encode_GetFrame", lib.getFrame != nullptr},
    };
    for (const auto &[name, found] : required) {
        if (!found) {
            lib.loadError = "The encoder library \"" + file + "\" has no entry point \"" + name + "\".";
            break;
        }
    }
    if (lib.loadError.empty() && (lib.previewFrames == nullptr || lib.preview == nullptr || lib.lastError == nullptr))
        lib.previewFrames = nullptr; // marks the previews as unavailable
    return lib;
}

class Worker
{
public:
    Worker(Library lib, std::string file) : m_lib(std::move(lib)), m_file(std::move(file)) {}

    [[noreturn]] void run()
    {
        for (;;) {
            // Watching a pass: poll the library every 20 ms; else just wait for requests.
            pollfd in{0, POLLIN, 0};
            const int rc = ::poll(&in, 1, m_watching ? 20 : (m_passOpen ? 1000 : -1));
            if (rc < 0 && errno != EINTR)
                ::_exit(0);
            if (rc > 0)
                readRequests();
            if (m_watching)
                watchPass();
            if (m_passOpen && Clock::now() - m_lastSent >= std::chrono::seconds(1))
                send({Kind::Alive, {}, {}});
        }
    }

private:
    void send(const Message &message)
    {
        const std::string frame = helper::encode(message);
        for (std::size_t sent = 0; sent < frame.size();) {
            const ssize_t n = ::write(1, frame.data() + sent, frame.size() - sent);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                ::_exit(0); // the program is gone
            sent += static_cast<std::size_t>(n);
        }
        m_lastSent = Clock::now();
    }

    void readRequests()
    {
        std::array<char, 65536> buffer{};
        ssize_t n = 0;
        while ((n = ::read(0, buffer.data(), buffer.size())) < 0 && errno == EINTR) {
        }
        if (n <= 0)
            ::_exit(0); // the program closed its end or died
        m_decoder.feed(buffer.data(), static_cast<std::size_t>(n));
        while (auto request = m_decoder.next())
            serve(*request);
        if (m_decoder.broken())
            ::_exit(2);
    }

    void watchPass()
    {
        const std::int32_t percent = m_lib.encoding();
        if (percent != m_lastPercent) {
            m_lastPercent = percent;
            send({Kind::Progress, {percent, m_lib.leftTime()}, {}});
        }
        if (percent >= 100)
            m_watching = false;
    }

    void serve(const Message &request)
    {
        const bool ready = m_lib.loadError.empty();
        const std::string &failure = m_lib.loadError;
        switch (request.kind) {
        case Kind::Begin: {
            if (!ready) {
                send({Kind::Opened, {-1, 0}, {failure}});
                break;
            }
            const std::int32_t result = m_lib.begin(request.text(0).c_str(), request.text(1).c_str(),
                                                    request.number(0), request.number(1), request.number(2),
                                                    request.number(3), request.number(4));
            const std::int32_t frames = m_lib.frame();
            send({Kind::Opened, {result, frames}, {result == -1 ? m_lib.lastErrorText() : std::string()}});
            m_passOpen = m_watching = result != -1;
            m_lastPercent = -1;
            break;
        }
        case Kind::End: {
            if (!ready) {
                send({Kind::Closed, {-1}, {failure, {}}});
                break;
            }
            const std::int32_t result = m_lib.end();
            const std::string error = result < 0 ? m_lib.lastErrorText() : std::string();
            send({Kind::Closed, {result}, {error, m_lib.notesText()}});
            m_passOpen = m_watching = false;
            break;
        }
        case Kind::GetFrame: {
            if (!ready) {
                send({Kind::Length, {0}, {failure}});
                break;
            }
            const std::int32_t seconds = m_lib.getFrame(request.text(0).c_str());
            send({Kind::Length, {seconds}, {seconds == 0 ? m_lib.lastErrorText() : std::string()}});
            break;
        }
        case Kind::PreviewFrames: {
            if (const std::string why = previewProblem(); !why.empty()) {
                send({Kind::PreviewCount, {-1}, {why}});
                break;
            }
            const std::int32_t frames = m_lib.previewFrames(request.text(0).c_str());
            send({Kind::PreviewCount, {frames}, {frames < 0 ? m_lib.lastErrorText() : std::string()}});
            break;
        }
        case Kind::Preview:
            servePreview(request);
            break;
        case Kind::Quit:
            if (ready && m_passOpen)
                m_lib.end();
            ::_exit(0);
        default:
            ::_exit(2); // a reply kind is no request: the program is confused
        }
    }

    std::string previewProblem() const
    {
        if (!m_lib.loadError.empty())
            return m_lib.loadError;
        if (m_lib.previewFrames == nullptr)
            return "The encoder library \"" + m_file + "\" cannot show previews.";
        return {};
    }

    void servePreview(const Message &request)
    {
        if (const std::string why = previewProblem(); !why.empty()) {
            send({Kind::Picture, {-1, 0, 0}, {{}, why}});
            return;
        }
        // A 256-wide picture fits at once unless it is taller than 1024; then
        // the library tells the size and the second call fits.
        m_rgb.resize(std::max<std::size_t>(m_rgb.size(), 256 * 1024 * 3));
        std::int32_t width = 0;
        std::int32_t height = 0;
        for (int attempt = 0; attempt < 2; ++attempt) {
            width = height = 0;
            const std::int32_t result = m_lib.preview(request.text(0).c_str(), request.number(0), m_rgb.data(),
                                                      static_cast<std::int32_t>(m_rgb.size()), &width, &height);
            const auto needed = static_cast<std::size_t>(std::max(width, 0)) * static_cast<std::size_t>(std::max(height, 0)) * 3;
            if (result == 0 && needed <= m_rgb.size()) {
                send({Kind::Picture, {0, width, height},
                      {std::string(reinterpret_cast<const char *>(m_rgb.data()), needed), {}}});
                return;
            }
            if (needed <= m_rgb.size() || needed > helper::kMaxFrame / 2)
                break;
            m_rgb.resize(needed);
        }
        send({Kind::Picture, {-1, width, height}, {{}, m_lib.lastErrorText()}});
    }

    Library m_lib;
    std::string m_file;
    helper::Decoder m_decoder;
    std::vector<std::uint8_t> m_rgb;
    bool m_passOpen = false; // Encode_Begin succeeded and Encode_End has not come yet
    bool m_watching = false; // ... and Encode_Encoding has not reached 100 yet
    std::int32_t m_lastPercent = -1;
    Clock::time_point m_lastSent = Clock::now();
};

} // namespace

int main(int argc, char **argv)
{
    std::string library;
    long parent = -1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        if (flag == "--library")
            library = argv[i + 1];
        else if (flag == "--parent")
            parent = std::strtol(argv[i + 1], nullptr, 10);
    }
    if (library.empty() || parent <= 0 || ::getppid() != static_cast<pid_t>(parent))
        return 0;
    // Die with the program, also while stuck inside the library. Not through
    // PR_SET_PDEATHSIG: that fires when the program's thread that started us
    // ends (the program starts helpers from short-lived threads), not the
    // program. A program that died leaves us to another parent.
    std::thread([parent] {
        while (::getppid() == static_cast<pid_t>(parent))
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ::_exit(0);
    }).detach();
    Worker(load(library), library).run();
}
