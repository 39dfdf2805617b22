#pragma once

// What velmora-cli says about each file: JSON lines for programs, plain lines
// for a log or a pipe, and on a terminal a block of one line per running file
// updated in place below the lines of the files' starts and ends.

#include "cli/cli_run.h"

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

class Reporter
{
public:
    // [columns]: the terminal's width (0: unknown); a longer progress line
    // would wrap and take the block's lines out of count.
    Reporter(bool json, bool terminal, int columns, std::ostream &out, std::ostream &err);

    void started(const FileResult &file);
    void progress(const FileResult &file, std::int32_t pass, std::int32_t percent, const std::string &left);
    void ended(const FileResult &file);
    void note(const std::string &text);
    // The final table's stream (standard error when standard output is for
    // JSON), with the progress block taken away.
    std::ostream &tableStream();

private:
    struct Running
    {
        std::string file;
        std::string status;
    };

    void line(const char *event, const std::string &file, const std::string &rest);
    void erase();
    void draw();

    bool m_json;
    bool m_terminal;
    std::size_t m_columns;
    std::ostream &m_out;
    std::ostream &m_err;
    std::vector<Running> m_running; // in the order they started
    std::size_t m_drawn = 0;        // lines of the block on the screen, the cursor below them
};

} // namespace cli
