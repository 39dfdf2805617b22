// Fuzzes the settings file reader: any bytes as "Velmora.ini", loaded into a
// window that enforces the real controls' ranges (an unknown name throws and
// aborts: the key table and the window would disagree). Every text read back
// fits the reply buffer, and a complete load is a fixed point of saving: saved
// into the same store and loaded into a fresh window, it gives the same window.

#include "settings/ini_file.h"
#include "settings/settings_io.h"
#include "settings/settings_schema.h"
#include "settings/settings_target.h"
#include "support/fake_settings_target.h"

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include <unistd.h>

using FuzzWindow = support::FakeSettingsTarget;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // One scratch file per fuzzing process: IniFile reads only from disk.
    static const std::string path = "/tmp/velmora-fuzz-settings-" + std::to_string(::getpid()) + ".ini";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
    }
    settings::IniFile ini = settings::IniFile::open(path);
    ::unlink(path.c_str());

    FuzzWindow loaded;
    const settings::LoadReport first = settings::loadSettings(ini, loaded, "/home/user/");

    for (const core::Control &row : core::kControls)
        if (ini.read(row.section, row.key, "").size() > settings::kMaxValueBytes)
            __builtin_trap();

    // A load that stopped early leaves later controls at their layout values
    // and skips the follow-up steps, so only a complete load must repeat.
    if (!first.complete())
        return 0;
    if (!settings::saveSettings(ini, loaded).complete())
        __builtin_trap();
    FuzzWindow reloaded;
    if (!settings::loadSettings(ini, reloaded, "/home/user/").complete() || !(reloaded == loaded))
        __builtin_trap();
    return 0;
}
