#include "script/script_writer.h"

#include "jobs/number_text.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <utility>
#include <vector>

namespace core {

namespace {

struct Presence
{
    bool audio = false;
    bool subtitles = false;
    bool introVideo = false; // V: conversion, intro type video, file present
    bool introImage = false; // I: conversion, intro type image, file present
};

// Every line of the script in its final order, without line ends.
std::vector<std::string> composeLines(const ScriptRequest &request, const RunValues &run,
                                      std::int32_t colorRgb, const Presence &has)
{
    const JobSettings &s = request.shown;
    const bool conversion = request.mode == 1;
    const std::string fps = std::to_string(run.frameRate);
    const std::string rate = std::to_string(run.sampleRate);
    const std::string resize = "BicubicResize(a0,256,256*Height(a)/Width(a))";
    const bool intro = has.introVideo || has.introImage;

    std::vector<std::string> lines;
    auto add = [&lines](std::string line) { lines.push_back(std::move(line)); };

    if (s.autoCrop == 1)
        add("loadplugin(" + scriptString(request.appFolder + "AutoCrop.dll") + ")");
    if (has.subtitles)
        add("loadplugin(" + scriptString(request.appFolder + "VSFilter.dll") + ")");
    add("videofile = " + scriptString(request.videoPath));
    if (has.audio)
        add("audiofile = " + scriptString(s.audioFile));
    if (has.subtitles)
        add("subfile = " + scriptString(s.subtitleFile));
    if (has.introVideo)
        add("videointfile = " + scriptString(s.introVideoFile));
    if (has.introImage)
        add("imageintfile = " + scriptString(s.introImageFile));

    const std::string source = "DirectShowSource(videofile, fps=" + fps + ", convertfps=true)";
    add(has.audio ? "a = AudioDub(" + source + ", DirectShowSource(audiofile))" : "a = " + source);
    add(s.autoCrop == 1
            ? "a0 = AutoCrop(a,mode=0,wmultof=4,hmultof=4,samples=10,aspect=0,threshold=34,samplestartframe=0)"
            : "a0 = a");
    if (s.logoText.empty()) {
        add("aa = " + resize);
    } else {
        add("a1 = " + resize);
        add("aa = Subtitle(a1," + scriptString(s.logoText) + "," + s.logoX + "," + s.logoY + "," + s.logoStart + "*"
            + fps + "," + s.logoEnd + "*" + fps + "," + scriptString(s.logoFontName) + ","
            + decimalText(request.logoFontSize) + "," + std::to_string(colorRgb) + ")");
    }
    if (s.reverse == 1) {
        add("aa1 = ResampleAudio(aa," + rate + ")");
        add("aa2 = Reverse(aa1)");
    } else {
        add("aa2 = ResampleAudio(aa," + rate + ")");
    }
    add("aaa = ConvertToYV12(aa2)");

    if (has.introVideo)
        add("b = DirectShowSource(videointfile, fps=" + fps + ", convertfps=true)");
    if (has.introImage) {
        add("b1 = ImageSource(imageintfile,0," + s.introImageTime + "*" + fps + "," + fps + ")");
        add("b2 = Tone(" + s.introImageTime + ",0," + rate + ",2,\"Silence\",1.0)");
        add("b = AudioDub(b1,b2)");
    }
    if (intro) {
        add("bb = ResampleAudio(b," + rate + ")");
        add("bb2 = BicubicResize(bb,256,256*Height(a)/Width(a))");
        add("bbb = ConvertToYV12(bb2)");
    }

    const std::string fade = s.introFadeTime + "*" + fps;
    if (!intro) {
        add("c = aaa");
    } else if (s.introFadeMode == 3) {
        add("c = Dissolve (bbb,aaa," + fade + ")");
    } else {
        add("c1 = Dissolve (bbb,aaa,0)");
        if (s.introFadeMode == 0)
            add("c = FadeIn (c1," + fade + ")");
        else if (s.introFadeMode == 1)
            add("c = FadeOut (c1," + fade + ")");
        else if (s.introFadeMode == 2)
            add("c = FadeIO (c1," + fade + ")");
    }

    if (!conversion || request.frameCount == 0)
        add("Trim(c,0,0)");
    else if (has.introVideo)
        add("Trim(c," + s.startTime + "*" + fps + "," + s.endTime + "*" + fps + "+Framecount(bbb))");
    else if (has.introImage)
        add("Trim(c," + s.startTime + "*" + fps + ",(" + s.endTime + "+" + s.introImageTime + ")*" + fps + ")");
    else
        add("Trim(c," + s.startTime + "*" + fps + "," + s.endTime + "*" + fps + ")");

    if (s.hue != 0 || s.saturation != 10 || s.brightness != 0 || s.contrast != 10)
        add("Tweak(" + labelText(s.hue) + "," + tenthsLabelText(s.saturation) + "," + labelText(s.brightness) + ","
            + tenthsLabelText(s.contrast) + ")");
    if (s.sharpness != 0)
        add("Sharpen(" + decimalText(static_cast<double>(s.sharpness) / 100.0) + ")");
    if (s.volume != 100)
        add("Amplify(" + decimalText(static_cast<double>(s.volume) / 100.0) + ")");
    if (s.audioDelay != 0)
        add("DelayAudio(" + tenthsLabelText(s.audioDelay) + ")");
    if (s.channelMode == 1)
        add("GetChannel(1,1)");
    else if (s.channelMode == 2)
        add("GetChannel(2,2)");
    if (has.subtitles)
        add("TextSub(subfile)");
    return lines;
}

ScriptResult refused(ScriptResult result, ScriptWarning warning)
{
    result.result = 0;
    result.warning = warning;
    return result;
}

} // namespace

const char *scriptWarningText(ScriptWarning warning)
{
    switch (warning) {
    case ScriptWarning::None:
        return "";
    case ScriptWarning::TimeControl:
        return "Time Control setting Error!";
    case ScriptWarning::NoInputVideo:
        return "No Input Video File to convert! Please add Input Video File!";
    case ScriptWarning::Parameter:
        return "Parameter Error! Please correct it and try again!";
    }
    return "";
}

std::string scriptString(std::string_view value)
{
    if (value.find('"') == std::string_view::npos)
        return "\"" + std::string(value) + "\"";

    // The reader ends a """ literal at the first """ and gives any further
    // quotes to the content, so only trailing quote runs are safe. Cut after
    // every run of three or more that is not at the end.
    std::vector<std::string_view> pieces;
    std::size_t pieceStart = 0;
    std::size_t i = 0;
    while (i < value.size()) {
        if (value[i] != '"') {
            ++i;
            continue;
        }
        std::size_t runEnd = i;
        while (runEnd < value.size() && value[runEnd] == '"')
            ++runEnd;
        if (runEnd - i >= 3 && runEnd < value.size()) {
            pieces.push_back(value.substr(pieceStart, runEnd - pieceStart));
            pieceStart = runEnd;
        }
        i = runEnd;
    }
    pieces.push_back(value.substr(pieceStart));

    std::string literal;
    for (const std::string_view piece : pieces) {
        if (!literal.empty())
            literal += "+";
        if (piece.find('"') == std::string_view::npos)
            literal += "\"" + std::string(piece) + "\"";
        else
            literal += "\"\"\"" + std::string(piece) + "\"\"\"";
    }
    return literal;
}

std::int32_t logoColorRgb(std::int32_t storedColor)
{
    const auto stored = static_cast<std::uint32_t>(storedColor);
    const std::uint32_t red = stored & 0xFFu;
    const std::uint32_t green = (stored >> 8) & 0xFFu;
    const std::uint32_t blue = (stored >> 16) & 0xFFu;
    return static_cast<std::int32_t>(red * 65536u + green * 256u + blue);
}

bool isPresentFile(const std::string &path)
{
    if (path.empty())
        return false;
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

ScriptResult writeScript(const ScriptRequest &request)
{
    namespace fs = std::filesystem;
    const JobSettings &s = request.shown;
    ScriptResult result;

    // Always start from an empty file: a stale script must never be encoded.
    std::error_code ec;
    const auto status = fs::symlink_status(request.scriptPath, ec);
    if (fs::exists(status) && !fs::is_directory(status)) {
        if (!fs::remove(request.scriptPath, ec) || ec)
            return refused(result, ScriptWarning::Parameter);
    }

    // The run values keep what was reached when a later one fails.
    const RunValuesResult values = runValuesFor(s);
    result.run = values.run;
    if (!values.complete)
        return refused(result, ScriptWarning::Parameter);
    const std::int32_t colorRgb = logoColorRgb(s.logoColor);

    const auto start = parseWhole(s.startTime);
    const auto end = parseWhole(s.endTime);
    if (!start || !end)
        return refused(result, ScriptWarning::Parameter);
    // The end is deliberately not compared with the clip length.
    if (*start > *end || *start > request.frameCount || *start < 0)
        return refused(result, ScriptWarning::TimeControl);

    if (!isPresentFile(request.videoPath))
        return refused(result, ScriptWarning::NoInputVideo);

    const bool conversion = request.mode == 1;
    Presence has;
    has.audio = isPresentFile(s.audioFile);
    has.subtitles = isPresentFile(s.subtitleFile);
    has.introVideo = conversion && s.introType == 0 && isPresentFile(s.introVideoFile);
    has.introImage = conversion && s.introType == 1 && isPresentFile(s.introImageFile);

    // Written under its final name: the encoder library opens exactly this path.
    std::ofstream file(request.scriptPath, std::ios::binary | std::ios::trunc);
    if (!file)
        return refused(result, ScriptWarning::Parameter);
    std::string text;
    for (const std::string &line : composeLines(request, result.run, colorRgb, has))
        text += line + "\r\n";
    file << text;
    file.close();
    if (file.fail())
        return refused(result, ScriptWarning::Parameter);

    result.result = 1;
    result.text = std::move(text);
    return result;
}

} // namespace core
