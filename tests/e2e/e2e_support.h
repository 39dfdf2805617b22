#pragma once

// What the end-to-end tests share: a throw-away program folder holding the
// real encoder library, clips made with the ffmpeg command line, and checks
// of the files a run leaves behind.

#include "ui/form1.h"

#include <QString>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace e2e {

namespace fs = std::filesystem;

// A command's standard output; [ok] tells whether it ended with status 0.
std::string run(const std::string &command, bool *ok = nullptr);
std::string quoted(const fs::path &path);

std::vector<std::uint8_t> readAll(const fs::path &file);
// Every name in [folder], hidden ones included.
std::set<std::string> namesIn(const fs::path &folder);

// A .kvx whose header agrees with its length and carries both streams.
::testing::AssertionResult isCompleteKvx(const fs::path &file);

// A folder holding "program" (with a link to the real libTarvikDll.so, which
// the window loads from there), "media" and "out"; removed afterwards.
class EndToEnd : public ::testing::Test
{
protected:
    EndToEnd();
    ~EndToEnd() override;

    // Runs ffmpeg with [inputs] (inputs and options) into media/[name].
    fs::path make(const std::string &name, const std::string &inputs);

    template <typename W>
    W *child(const ui::Form1 &window, const char *name)
    {
        auto *widget = window.findChild<W *>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    QString programFolder() const { return QString::fromStdString(program.string()); }

    fs::path root, program, media, out;
};

} // namespace e2e
