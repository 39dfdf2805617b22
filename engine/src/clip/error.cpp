#include "error.h"

extern "C" {
#include <libavutil/error.h>
}

namespace engine {

std::string avErrorText(int ret)
{
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(ret, buf, sizeof buf);
    return buf;
}

int check(int ret, const char *what)
{
    if (ret < 0)
        throw Error(std::string(what) + ": " + avErrorText(ret));
    return ret;
}

} // namespace engine
