#pragma once

// The encoder library and the power-off as the program sees them, played by
// the tests. Every encoder call is logged, so orderings can be checked.

#include "convert/encoder.h"
#include "convert/power_off.h"

#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace support {

class FakeEncoder final : public core::Encoder
{
public:
    // One pass as the library plays it.
    struct Pass
    {
        std::int32_t beginResult = 0;
        std::vector<std::int32_t> percents{40, 100}; // Encode_Encoding's answers, the last repeated
        std::int32_t endResult = 0;
        std::string error; // lastError()
    };
    // A pass that would never end reports 100 after this many polls, so a
    // broken Stop fails its test instead of hanging it.
    static constexpr int kPollsBeforeGivingUp = 200;

    std::deque<Pass> passes; // taken one per begin(); a default pass when empty
    std::map<std::string, std::int32_t> lengths; // getFrame: a script naming a key has that length
    std::int32_t defaultLength = 0;
    std::int32_t frames = 1500;
    std::int32_t secondsLeft = 3725;
    std::function<void(int pass, int poll)> onPoll; // after each Encode_Encoding, passes counted from 0

    std::vector<std::string> log; // "begin video 427 128 32000 mode 1", "frame", "end", "getFrame"
    std::vector<std::string> probedScripts; // each getFrame's script text
    std::vector<std::string> outputs; // each begin's output path
    int passesBegun = 0;
    int polls = 0;

    std::int32_t begin(const std::string &, const std::string &outputPath, std::int32_t videoBitrate,
                       std::int32_t audioBitrate, std::int32_t sampleRate, std::int32_t videoPass,
                       std::int32_t mode) override
    {
        log.push_back((videoPass ? "begin video " : "begin audio ") + std::to_string(videoBitrate) + " " +
                      std::to_string(audioBitrate) + " " + std::to_string(sampleRate) + " mode " + std::to_string(mode));
        outputs.push_back(outputPath);
        m_pass = passes.empty() ? Pass{} : passes.front();
        if (!passes.empty())
            passes.pop_front();
        ++passesBegun;
        m_poll = 0;
        if (m_pass.beginResult != -1)
            std::ofstream(outputPath, std::ios::binary) << (videoPass ? "video stream" : "audio stream");
        return m_pass.beginResult;
    }
    std::int32_t frame() override { return log.emplace_back("frame"), frames; }
    std::int32_t encoding() override
    {
        ++polls;
        const int poll = m_poll++;
        const std::int32_t percent = poll >= kPollsBeforeGivingUp
                                         ? 100
                                         : m_pass.percents[std::min<std::size_t>(std::size_t(poll), m_pass.percents.size() - 1)];
        if (onPoll)
            onPoll(passesBegun - 1, poll);
        return percent;
    }
    std::int32_t leftTime() override { return secondsLeft; }
    std::int32_t end() override { return log.emplace_back("end"), m_pass.endResult; }
    std::int32_t getFrame(const std::string &scriptPath) override
    {
        log.emplace_back("getFrame");
        std::stringstream text;
        text << std::ifstream(scriptPath, std::ios::binary).rdbuf();
        probedScripts.push_back(text.str());
        for (const auto &[name, length] : lengths)
            if (text.str().find(name) != std::string::npos)
                return length;
        return defaultLength;
    }
    std::string lastError() override { return m_pass.error; }

private:
    Pass m_pass;
    int m_poll = 0;
};

class FakePowerOff final : public core::PowerOff
{
public:
    Result answer{.accepted = true, .reason = {}};
    int requests = 0;
    std::function<void()> onRequest;

    Result request() override
    {
        ++requests;
        if (onRequest)
            onRequest();
        return answer;
    }
};

} // namespace support
