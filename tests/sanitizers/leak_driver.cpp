// One file added and converted the way the program does it, for a leak
// checker to watch (support/program_steps.h).
//
//   leak_driver LIBRARY CLIP WORKDIR
//
// Exit 0 when both passes completed, 1 when the file was refused or a pass
// failed (the library's reason on stderr).

#include "support/program_steps.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s LIBRARY CLIP WORKDIR\n", argv[0]);
        return 2;
    }
    std::filesystem::create_directories(argv[3]);
    const support::TarvikApi api = support::TarvikApi::load(argv[1]);
    if (!api.loaded()) {
        std::fprintf(stderr, "cannot load the library or an entry point: %s\n", dlerror());
        return 1;
    }
    const auto put = [](const std::string &key, const std::string &value) {
        std::fprintf(stderr, "%s=%s\n", key.c_str(), value.c_str());
    };
    return support::convertLikeTheProgram(api, support::plainJob(argv[2], argv[3]), put) ? 0 : 1;
}
