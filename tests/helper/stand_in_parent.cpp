// Started by the tests as if it were a worker (--library WORKER --parent PID):
// starts the real worker itself, tells its pid on fd 1 and waits to be killed.

#include "helper/helper_process.h"

#include <csignal>
#include <string>

#include <sys/prctl.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (argc < 3)
        return 1;
    helper::HelperProcess worker;
    std::string error;
    if (!worker.start(argv[2], "/nonexistent/libTarvikDll.so", error))
        return 2;
    const std::string frame = helper::encode({helper::Kind::Length, {worker.pid()}, {{}}});
    if (::write(1, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size()))
        return 3;
    for (;;)
        ::pause();
}
