// velmora-cli: the converter without its window, for scripts and servers.
// Its helper (velmora-worker), the encoder library, the settings file and
// the log are the window's: beside the executable, or where an installed
// copy keeps them (see settings/app_folders.h).

#include "cli/cli_options.h"
#include "cli/cli_run.h"
#include "settings/app_folders.h"
#include "settings/presets.h"
#include "settings/settings_schema.h"
#include "settings/startup.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// The write end of the pipe that turns SIGINT and SIGTERM into an event.
volatile std::sig_atomic_t signalPipe = -1;

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe, &byte, 1);
}

// The pipe's ends, closed when main returns.
class SignalPipe
{
public:
    SignalPipe()
    {
        if (::pipe2(m_fds, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        signalPipe = m_fds[1];
        struct sigaction action{};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, nullptr);
        ::sigaction(SIGTERM, &action, nullptr);
    }
    ~SignalPipe()
    {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        signalPipe = -1;
        for (int fd : m_fds)
            if (fd >= 0)
                ::close(fd);
    }
    SignalPipe(const SignalPipe &) = delete;
    SignalPipe &operator=(const SignalPipe &) = delete;
    int readEnd() const { return m_fds[0]; }

private:
    int m_fds[2] = {-1, -1};
};

// The terminal's width; 0 when standard output is no terminal.
int terminalColumns()
{
    winsize size{};
    return ::isatty(STDOUT_FILENO) == 1 && ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

} // namespace

int main(int argc, char **argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    const cli::Options options = cli::parseOptions(args);
    switch (options.action) {
    case cli::Options::Action::Help:
        std::cout << cli::helpText();
        return cli::kExitConverted;
    case cli::Options::Action::Version:
        std::cout << "velmora-cli " << VELMORA_VERSION << "\n";
        return cli::kExitConverted;
    case cli::Options::Action::UsageError:
        std::cerr << "velmora-cli: " << options.error << "\n";
        return cli::kExitUsage;
    case cli::Options::Action::Convert:
        break;
    }

    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::string folder = settings::programFolder(error ? std::string() : exe.parent_path().string());
    const settings::HelperLocation helpers = settings::locateHelpers(folder, settings::installedHelperFolder());
    const settings::Environment environment = settings::currentEnvironment(folder, helpers.installed);
    const settings::AppPaths paths = settings::resolvePaths(folder, environment);
    // A folder that cannot be made is said once; a run that needs it fails
    // with its own reason.
    for (const std::string &note : settings::prepareFolders(paths))
        std::cerr << "velmora-cli: " << note << "\n";
    settings::copyShippedPresets(paths);
    if (const std::string note = settings::settingsFileProblem(paths.settingsPath); !note.empty())
        std::cerr << "velmora-cli: " << note << "\n";
    std::string problem;
    std::vector<std::string> notes;
    std::optional<std::vector<cli::StoredValue>> values = options.values;
    if (!options.preset.empty())
        values = cli::withPreset(paths.settingsFolder + std::string(settings::kPresetsFolderName), options.preset,
                                 options.values, notes, problem);
    const auto settings = values ? cli::loadJobSettings(paths.settingsPath,
                                                        settings::outputFolderDefault(environment.home), *values,
                                                        problem)
                                 : std::nullopt;
    if (!settings) {
        std::cerr << "velmora-cli: " << problem << "\n";
        return cli::kExitUsage;
    }
    SignalPipe signals;
    const cli::Request request{.files = options.files,
                               .settings = *settings,
                               .json = options.json,
                               .jobs = options.jobs,
                               .checkOnly = options.checkOnly,
                               .notes = std::move(notes)};
    const cli::RunEnv env{.programFolder = folder,
                          .interruptFd = signals.readEnd(),
                          .terminal = ::isatty(STDOUT_FILENO) == 1,
                          .columns = terminalColumns(),
                          .helperFolder = helpers.folder,
                          .tempFolder = paths.tempFolder,
                          .stateFolder = paths.stateFolder};
    return cli::convertFiles(request, env, std::cout, std::cerr);
}
