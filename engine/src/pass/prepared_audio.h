#pragma once

// The sound of a job, encoded while its video pass runs, into a temporary
// file of bounded size, so that the audio pass only has to hand the finished
// stream over. Its worker runs at the video's priority: a long video pass
// keeps both processors busy, and a lower one would only run once the video
// ended, alone on one. The audio pass takes it only when the key matches
// (the same script, byte for byte, and the same audio settings); anything
// else, and a preparation that failed or was stopped, leaves the audio pass
// to encode as it always does.
//
// Threading: used by the session's thread only; the work runs on the
// EncodePass worker it owns.

#include "encode_pass.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace engine::pass {

class PreparedAudio
{
public:
    // What makes a prepared stream the one an audio pass would write.
    struct Key
    {
        std::string scriptPath;
        std::string scriptText;
        int audioBitrateKbps = 0;
        int sampleRateHz = 0;
        bool operator==(const Key &) const = default;
    };

    // The key for a pass of settings over the script at path as it reads
    // now; empty when the script cannot be read.
    static std::optional<Key> keyFor(const std::string &scriptPath, const PassSettings &settings);

    // Starts encoding clip's sound as the audio pass of settings would, into
    // a new temporary file. Throws engine::Error when it cannot start, or
    // when the stream would be larger than the file may grow (nothing runs
    // and no file is left then).
    PreparedAudio(Key key, ClipPtr clip, const PassSettings &settings);
    // Stops the work if it still runs and deletes the file.
    ~PreparedAudio();

    PreparedAudio(const PreparedAudio &) = delete;
    PreparedAudio &operator=(const PreparedAudio &) = delete;

    const Key &key() const { return m_key; }
    int percent() const { return m_pass->percent(); }
    int secondsLeft() const { return m_pass->secondsLeft(); }

    // Waits up to timeout for the work to end; true once it has.
    bool waitEnd(std::chrono::milliseconds timeout) const;
    // After the end: true when the whole stream was written and closed.
    bool complete();
    // Appends the complete stream to writer.
    void copyTo(StreamWriter &writer) const;
    // The notes of the work (damaged stretches concealed).
    std::vector<std::string> notes() const { return m_pass->notes(); }

private:
    // The temporary file: created empty, removed when this goes.
    struct TempFile
    {
        TempFile();
        ~TempFile();
        TempFile(const TempFile &) = delete;
        TempFile &operator=(const TempFile &) = delete;
        std::string path;
    };

    Key m_key;
    TempFile m_file;
    std::unique_ptr<EncodePass> m_pass; // after m_file: stopped before the file goes
    std::optional<bool> m_complete;
};

} // namespace engine::pass
