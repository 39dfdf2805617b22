#include "encode_pass.h"

#include "clip/error.h"
#include "pipeline/decode_ahead.h"
#include "pipeline/media_filters.h"
#include "prepared_audio.h"
#include "time_left.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include <unistd.h>

namespace engine::pass {

namespace {

// Audio is pulled in chunks of whole Layer II frames (1152 samples each).
constexpr std::int64_t kAudioChunkSamples = 1152 * 8;

// Pictures the clip graph may have ready ahead of the encoder.
constexpr std::size_t kPicturesAhead = 3;

// The handheld player's screen is 256 pixels wide; the converter's scripts
// already resize to it, anything else is scaled to fit on the way out.
constexpr int kOutputWidth = 256;

// MPEG-1's sequence header has 12 bits for each picture dimension.
constexpr int kMpeg1MaxSize = 4095;

// A video pass of at least this many pictures is coded as two halves at
// once, each decoded, scaled and encoded by a clip graph of its own: one
// encoder, even on slice threads, keeps two processors only two-thirds busy,
// and it starts over in the middle at a small cost (a GOP's worth of bits,
// the same quality). Shorter passes would not gain what the second graph
// costs (its threads, and decoding again from the key picture before the
// middle): High Quality's encoder is slow enough from 20 s at 15 fps on;
// with the lighter modes a 30 s clip of 320x240 came out slower, a 60 s one
// of 640x480 a tenth faster.
constexpr std::int64_t kTwoHalvesPicturesHigh = 300;
constexpr std::int64_t kTwoHalvesPictures = 600;
// The encoder's GOP: the second half starts at a GOP's first picture.
constexpr std::int64_t kGopPictures = 15;

// An unnamed file in folder, for the second half's stream: nothing is left
// behind, however the pass ends. Opened again through its descriptor.
class UnnamedFile
{
public:
    explicit UnnamedFile(const std::filesystem::path &folder)
    {
        std::string pattern = (folder / ".velmora-half-XXXXXX").string();
        m_fd = ::mkstemp(pattern.data());
        if (m_fd < 0)
            throw Error("cannot create a temporary file in " + folder.string());
        ::unlink(pattern.c_str());
    }
    ~UnnamedFile() { ::close(m_fd); }
    UnnamedFile(const UnnamedFile &) = delete;
    UnnamedFile &operator=(const UnnamedFile &) = delete;
    std::string path() const { return "/proc/self/fd/" + std::to_string(m_fd); }

private:
    int m_fd = -1;
};

} // namespace

std::pair<int, int> videoOutputSize(const VideoInfo &vi)
{
    std::int64_t height = vi.height;
    if (vi.width != kOutputWidth)
        height = std::max<std::int64_t>((std::int64_t{vi.height} * kOutputWidth + vi.width / 2) / vi.width, 2);
    // A picture 40 times taller than wide, say, cannot be shown on the
    // player; squeezing it would only hide that from the user.
    if (height > kMpeg1MaxSize)
        throw Error("the picture would be " + std::to_string(kOutputWidth) + "x" + std::to_string(height) +
                    " pixels, too tall for MPEG-1 video (at most " + std::to_string(kMpeg1MaxSize) +
                    " pixels high)");
    return {kOutputWidth, evenSize(static_cast<int>(height), "height")};
}

std::int64_t audioSamplesToWrite(const VideoInfo &vi)
{
    return vi.hasVideo ? vi.samplesForFrames(vi.frameCount) : vi.sampleCount;
}

struct EncodePass::SecondHalf
{
    explicit SecondHalf(const std::filesystem::path &folder) : file(folder) {}
    UnnamedFile file;
    ClipPtr clip;
    std::unique_ptr<Mpeg1VideoWriter> writer;
    bool finished = false; // its stream is complete; set by its thread
    std::jthread thread;      // last: joined before the rest goes
};

EncodePass::EncodePass(ClipPtr clip, const PassSettings &settings, std::unique_ptr<PreparedAudio> prepared,
                       ClipReopener reopen)
    : m_clip(std::move(clip)), m_reopen(std::move(reopen)), m_settings(settings), m_prepared(std::move(prepared))
{
    if (!m_clip)
        throw Error("the script gave no clip");
    m_control = m_clip->control() ? m_clip->control() : std::make_shared<WorkControl>();
    const VideoInfo &vi = m_clip->info();
    if (settings.videoPass) {
        if (!vi.hasVideo)
            throw Error("the script's clip has no video");
        if (vi.frameCount <= 0)
            throw Error("the script's clip has no frames");
        const auto [width, height] = videoOutputSize(vi);
        m_total = vi.frameCount;
        auto writer = std::make_unique<Mpeg1VideoWriter>(settings.outputPath, width, height,
                                                         settings.videoBitrateKbps, settings.mode);
        m_write = [this, &video = *writer](std::stop_token stop) { writeVideo(video, stop); };
        m_writer = std::move(writer);
    } else {
        // Refuses a rate Layer II cannot carry before anything is created.
        Mp2AudioWriter::nearestBitrate(settings.sampleRateHz, settings.audioBitrateKbps);
        if (vi.hasAudio)
            m_clip = resampleAudio(m_clip, settings.sampleRateHz);
        VideoInfo target = m_clip->info();
        target.sampleRate = settings.sampleRateHz;
        if (!target.hasVideo && !target.hasAudio)
            throw Error("the script's clip has neither video nor audio");
        m_total = audioSamplesToWrite(target);
        auto writer = std::make_unique<Mp2AudioWriter>(settings.outputPath, settings.sampleRateHz,
                                                       settings.audioBitrateKbps);
        m_write = [this, &audio = *writer](std::stop_token stop) { writeAudio(audio, stop); };
        m_writer = std::move(writer);
    }
    m_timeLeft.setTotal(m_total);
    // Runs on the worker, inside a long read that yields no unit of the
    // pass's own for a while.
    m_control->setListener([this] { report(); });
    m_worker = std::jthread([this](std::stop_token stop) { run(stop); });
}

EncodePass::~EncodePass()
{
    end();
}

int EncodePass::percent() const
{
    return m_ended.load() ? 100 : m_percent.load();
}

bool EncodePass::end()
{
    if (m_worker.joinable()) {
        // The token first: a second graph that opens meanwhile sees it.
        m_worker.request_stop();
        m_control->requestStop();
        {
            std::lock_guard lock(m_secondMutex);
            if (m_secondControl)
                m_secondControl->requestStop();
        }
        m_worker.join();
    }
    return m_completed && error().empty();
}

std::string EncodePass::error() const
{
    std::lock_guard lock(m_errorMutex);
    return m_error;
}

std::vector<std::string> EncodePass::notes() const
{
    if (!m_ended.load())
        return {};
    std::vector<std::string> notes = m_preparedNotes;
    for (std::string &note : m_control->notes())
        notes.push_back(std::move(note));
    std::lock_guard lock(m_secondMutex);
    if (m_secondControl) {
        // The halves decode a little of the same stretch around the middle.
        for (std::string &note : m_secondControl->notes()) {
            if (std::find(notes.begin(), notes.end(), note) == notes.end())
                notes.push_back(std::move(note));
        }
    }
    return notes;
}

void EncodePass::run(std::stop_token stop)
{
    try {
        if (!handOver(stop))
            m_write(stop);
        const bool cut = stop.stop_requested();
        // Close the stream properly even when stopped: the file is then a
        // shorter but valid stream.
        m_writer->finish();
        m_completed = !cut;
    } catch (const Stopped &) {
        // A long read gave up because end() asked: a stop, not a failure.
        // The stream still gets its end code.
        try {
            m_writer->finish();
        } catch (const std::exception &e) {
            std::lock_guard lock(m_errorMutex);
            m_error = e.what();
        }
        m_completed = false;
    } catch (const std::exception &e) {
        std::lock_guard lock(m_errorMutex);
        m_error = e.what();
    } catch (...) {
        std::lock_guard lock(m_errorMutex);
        m_error = "unknown failure";
    }
    // Free the writer (closing a file left open by a failure) and the clip
    // graph (stopping its decode threads) before reporting the end.
    m_writer.reset();
    m_prepared.reset();
    m_clip.reset();
    m_control->setListener({}); // it points at this pass
    m_secondsLeft = 0;
    m_ended = true;
}

// With prepared sound: waits for it, showing its progress as the pass's
// own, and writes it out when it is complete. False when there is none to
// write (none given, or it failed or was stopped): the pass encodes then.
bool EncodePass::handOver(std::stop_token stop)
{
    if (!m_prepared)
        return false;
    while (!m_prepared->waitEnd(std::chrono::milliseconds(50))) {
        if (stop.stop_requested())
            return false;
        m_percent = std::max(m_percent.load(), std::min(m_prepared->percent(), 99));
        m_secondsLeft = m_prepared->secondsLeft();
    }
    if (!m_prepared->complete())
        return false;
    m_prepared->copyTo(*m_writer);
    m_preparedNotes = m_prepared->notes();
    written(m_total - m_written.load());
    return true;
}

// The clip graph (decoding, scaling, filters) makes the next pictures on a
// helper thread while this one encodes: the two halves of the work overlap.
// A long pass has a second graph and encoder for its second half, on a
// thread of their own from the start, its stream appended to the first
// half's at the end.
void EncodePass::writeVideo(Mpeg1VideoWriter &writer, std::stop_token stop)
{
    const std::int64_t middle = m_total / 2 / kGopPictures * kGopPictures;
    std::unique_ptr<SecondHalf> second = halvesPlanned() ? startSecondHalf(middle, writer, stop) : nullptr;
    std::atomic<std::int64_t> end{second ? middle : m_total};
    const auto firstWritten = [&] {
        // A graph whose first picture took long work (Reverse reads its
        // whole input first) would do it twice: the first graph codes it all.
        if (!second || m_control->workTotal() == 0)
            return;
        end = m_total;
        second->thread.request_stop();
        std::lock_guard lock(m_secondMutex);
        if (m_secondControl)
            m_secondControl->requestStop();
    };
    writePictures(*m_clip, 0, end, writer, [&] { return stop.stop_requested(); }, firstWritten);
    if (!second)
        return;
    second->thread.join();
    // Stopped, the first half alone is a shorter, complete stream.
    if (stop.stop_requested() || end.load() == m_total)
        return;
    if (!second->finished) {
        // Whatever stopped the second graph, the first one carries on where
        // it stands.
        end = m_total;
        writePictures(*m_clip, middle, end, writer, [&] { return stop.stop_requested(); }, {});
        return;
    }
    writer.drainEncoder();
    writer.appendFile(second->file.path(), Mpeg1VideoWriter::kStreamEndBytes);
}

bool EncodePass::halvesPlanned() const
{
    const std::int64_t least =
        m_settings.mode == EncodeMode::HighQuality ? kTwoHalvesPicturesHigh : kTwoHalvesPictures;
    return m_reopen && m_total >= least;
}

std::unique_ptr<EncodePass::SecondHalf> EncodePass::startSecondHalf(std::int64_t from, const Mpeg1VideoWriter &first,
                                                                     std::stop_token stop)
{
    std::unique_ptr<SecondHalf> half;
    try {
        std::filesystem::path folder = std::filesystem::path(m_settings.outputPath).parent_path();
        if (folder.empty())
            folder = ".";
        // The second stream waits beside the output until it is appended:
        // for a while the two take half a stream more room than one. Where
        // that room is short, one graph codes it all.
        const std::int64_t halfBytes = std::int64_t{m_settings.videoBitrateKbps} * 125 * (m_total - from) / 25;
        if (std::filesystem::space(folder).available < static_cast<std::uintmax_t>(halfBytes) * 2)
            return nullptr;
        half = std::make_unique<SecondHalf>(folder);
    } catch (const std::exception &) {
        // The first half then codes the whole pass, as a short one does.
        return nullptr;
    }
    SecondHalf &h = *half;
    // The script opens again on this thread while the first graph makes its
    // first pictures. Whatever fails here, the first graph codes the rest.
    h.thread = std::jthread([this, &h, from, stop, width = first.width(), height = first.height()](
                                std::stop_token own) {
        const auto stopped = [&] { return stop.stop_requested() || own.stop_requested(); };
        try {
            h.clip = m_reopen();
            if (!h.clip || h.clip->info().frameCount != m_total)
                throw Error("the script gave another clip when opened again");
            {
                // After this, a stop reaches its long work through end() or
                // the first half, whichever comes first.
                std::lock_guard lock(m_secondMutex);
                m_secondControl = h.clip->control() ? h.clip->control() : std::make_shared<WorkControl>();
            }
            h.writer = std::make_unique<Mpeg1VideoWriter>(h.file.path(), width, height, m_settings.videoBitrateKbps,
                                                          m_settings.mode, from);
            const std::atomic<std::int64_t> to{m_total};
            if (!stopped())
                writePictures(*h.clip, from, to, *h.writer, stopped, {});
            if (!stopped()) {
                h.writer->finish();
                h.finished = true;
            }
        } catch (...) {
            // Left unfinished: the first graph codes the rest.
        }
        // Its decoding threads end here, not when the pass is freed.
        h.writer.reset();
        h.clip.reset();
    });
    return half;
}

void EncodePass::writePictures(Clip &clip, std::int64_t from, const std::atomic<std::int64_t> &to,
                               Mpeg1VideoWriter &writer, const std::function<bool()> &stopped,
                               const std::function<void()> &first)
{
    av::DecodeAhead<FrameRef> pictures(kPicturesAhead);
    std::int64_t next = from;
    pictures.start([&clip, &next, &to]() -> std::optional<FrameRef> {
        if (next >= to.load())
            return std::nullopt;
        return clip.frame(next++);
    });
    for (std::int64_t n = from; n < to.load(); ++n) {
        if (stopped())
            return;
        const std::optional<FrameRef> picture = pictures.pop();
        if (!picture)
            return;
        writer.write(**picture);
        written(1);
        if (n == from && first)
            first();
    }
}

void EncodePass::writeAudio(Mp2AudioWriter &writer, std::stop_token stop)
{
    const VideoInfo &vi = m_clip->info();
    const int channels = vi.hasAudio ? std::max(vi.channels, 1) : 2;
    std::vector<float> samples;
    std::vector<float> stereo;
    for (std::int64_t pos = 0; pos < m_total;) {
        if (stop.stop_requested())
            return;
        const std::int64_t count = std::min(kAudioChunkSamples, m_total - pos);
        const auto n = static_cast<std::size_t>(count);
        stereo.assign(n * 2, 0.0f);
        if (vi.hasAudio) {
            // Reads past the clip's own audio come back as silence, which
            // pads the sound to the video's length.
            samples.resize(n * static_cast<std::size_t>(channels));
            m_clip->audio(pos, count, samples);
            for (std::size_t i = 0; i < n; ++i) {
                const float *in = &samples[i * static_cast<std::size_t>(channels)];
                stereo[2 * i] = in[0];
                stereo[2 * i + 1] = channels > 1 ? in[1] : in[0];
            }
        }
        writer.write(stereo);
        pos += count;
        written(count);
    }
}

void EncodePass::written(std::int64_t units)
{
    m_written += units;
    report();
}

void EncodePass::report()
{
    // Long work inside the clip graph reports from the picture thread.
    std::lock_guard lock(m_progressMutex);
    const std::int64_t total = m_total + m_control->workTotal();
    const std::int64_t done = std::min(m_written + m_control->workDone(), total);
    const auto percent = static_cast<int>(std::min<std::int64_t>(99, done * 100 / std::max<std::int64_t>(total, 1)));
    if (percent > m_percent.load())
        m_percent = percent;
    m_timeLeft.setTotal(total);
    m_timeLeft.update(done, TimeLeft::Clock::now());
    m_secondsLeft = m_timeLeft.seconds();
}

} // namespace engine::pass
