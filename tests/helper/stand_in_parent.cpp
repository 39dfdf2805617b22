// Started by the tests as if it were a worker (--library WORKER --parent PID):
// starts the real worker itself over the misbehaving library, opens a video
// pass that hangs inside the library, tells the worker's pid on fd 1 and
// waits to be killed: the hardest moment for a worker to notice its
// program has gone.

#include "helper/helper_process.h"

#include <cstdio>
#include <string>

#include <poll.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc < 3)
        return 1;
    char script[] = "/tmp/velmora-stand-in-XXXXXX";
    const int fd = ::mkstemp(script);
    if (fd < 0)
        return 1;
    const std::string text = "DirectShowSource(\"stuck-hang-video.avi\")\n";
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    helper::HelperProcess worker;
    std::string error;
    if (!written || !worker.start(argv[2], FAULT_LIBRARY_PATH, error))
        return 2;
    const std::string output = std::string(script) + ".m1v";
    worker.send({helper::Kind::Begin, {256, 128, 32000, 1, 1}, {script, output}});
    std::optional<helper::Message> opened;
    for (int i = 0; i < 200 && !opened; ++i) {
        pollfd in{worker.fd(), POLLIN, 0};
        ::poll(&in, 1, 50);
        worker.read();
        opened = worker.next();
    }
    ::unlink(script);
    ::unlink(output.c_str());
    if (!opened || opened->kind != helper::Kind::Opened)
        return 3;
    const std::string frame = helper::encode({helper::Kind::Length, {worker.pid()}, {{}}});
    if (::write(1, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size()))
        return 4;
    for (;;)
        ::pause();
}
