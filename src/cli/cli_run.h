#pragma once

#include "cli/cli_options.h"
#include "jobs/job_settings.h"

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

// Where the run finds its helper, library, settings and log.
struct RunEnv
{
    std::string programFolder; // ending in "/"; holds the script plug-ins
    int interruptFd = -1;      // readable once SIGINT or SIGTERM came; -1: none
    bool terminal = false;     // plain progress updates its lines in place
    int columns = 0;           // the terminal's width; 0: unknown
    // Each ending in "/"; empty: the program folder.
    std::string helperFolder;  // velmora-worker and the encoder library
    std::string tempFolder;    // the runs' own temporary folders go in here
    std::string stateFolder;   // the log
};

// What became of one file given on the command line.
struct FileResult
{
    std::string file;
    enum class State { Skipped, Failed, Converted, Stopped, Ready } state = State::Skipped; // Ready: --check only
    std::string reason;
    std::string output;
    std::int64_t bytes = 0;
    double seconds = 0.0;
};

// What to convert and how.
struct Request
{
    std::vector<std::string> files;
    core::JobSettings settings;
    bool json = false;      // JSON lines on standard output
    int jobs = 1;           // files converted at the same time
    bool checkOnly = false; // the check before the first pass instead of the passes
    std::vector<std::string> notes; // reported before the first file (a preset's)
};

// Probes the request's files, then converts them [jobs] at a time (each in a
// helper of its own, with temporary files of its own), reporting each event
// on [out] (JSON lines when [json]) and notes on [err]. The exit status:
// kExitConverted, kExitSomeFailed or kExitInterrupted. With [checkOnly], the
// status is kExitConverted when every file could be converted.
int convertFiles(const Request &request, const RunEnv &env, std::ostream &out, std::ostream &err);

// The end table, one row per file.
std::string resultTable(const std::vector<FileResult> &results);

// [text] as a JSON string literal.
std::string jsonString(std::string_view text);

} // namespace cli
