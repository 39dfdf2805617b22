#include "jobs/controls.h"

#include "jobs/number_text.h"

namespace core {

namespace {

// Builds a row the way an options table spells one: the columns every row
// has, then only the extra columns its kind uses.
struct Row
{
    Control control;

    constexpr Row keyed(std::string_view key) const
    {
        Row next = *this;
        next.control.key = key;
        return next;
    }
    constexpr Row listing(std::span<const std::string_view> items) const
    {
        Row next = *this;
        next.control.items = items;
        return next;
    }
    constexpr Row bar(BarRange range, std::string_view label, LabelRule rule) const
    {
        Row next = *this;
        next.control.range = range;
        next.control.label = label;
        next.control.labelRule = rule;
        return next;
    }
    constexpr Row storingWhileDragged() const
    {
        Row next = *this;
        next.control.storesWhileDragging = true;
        return next;
    }
    constexpr Row then(FollowUp step) const
    {
        Row next = *this;
        next.control.followUp = step;
        return next;
    }
    constexpr Row laidOutAs(std::string_view value) const
    {
        Row next = *this;
        next.control.layoutValue = value;
        return next;
    }
    constexpr Row opt(std::string_view option) const
    {
        Row next = *this;
        next.control.option = option;
        return next;
    }
    constexpr Row choosing(std::span<const std::string_view> words) const
    {
        Row next = *this;
        next.control.choices = words;
        return next;
    }
    constexpr Row aFile() const
    {
        Row next = *this;
        next.control.filePath = true;
        return next;
    }
    constexpr operator Control() const { return control; }
};

// A row whose key is its control's name.
constexpr Row row(std::string_view section, std::string_view name, std::string_view defaultText, ValueKind kind,
                  Field field = {})
{
    return Row{Control{.name = name, .section = section, .key = name, .defaultText = defaultText, .kind = kind,
                       .field = field}};
}

constexpr std::string_view kFolders = "InitDirectory";
constexpr std::string_view kParameter = "Parameter";
constexpr std::string_view kTime = "Time Control";
constexpr std::string_view kColour = "Color Setting";
constexpr std::string_view kAudio = "Audio Setting";
constexpr std::string_view kExtern = "Extern Audio/Subtitle";
constexpr std::string_view kIntro = "Add Intruduction";

using J = JobSettings;
using K = ValueKind;

} // namespace

// clang-format off
constexpr std::array<Control, kControlCount> kControls{{
    row(kFolders, "videoOpenDir",    "", K::Folder).keyed("videoopendir"),
    row(kFolders, "audioOpenDir",    "", K::Folder).keyed("audioopendir"),
    row(kFolders, "subOpenDir",      "", K::Folder).keyed("subopendir"),
    row(kFolders, "videoIntOpenDir", "", K::Folder).keyed("videointopendir"),
    row(kFolders, "imageIntOpenDir", "", K::Folder).keyed("imageintopendir"),

    row("Select Setting", "OptionSel", "0", K::SwitchedOption).choosing(kPanelWords),

    row(kParameter, "FRCombo",       "14",  K::ListIndex,  &J::frameRateIndex).listing(kFrameRateItems).opt("frame-rate"),
    row(kParameter, "VBRText",       "256", K::Text,       &J::videoBitrate).opt("video-bitrate"),
    row(kParameter, "ABRCombo",      "4",   K::ListIndex,  &J::audioBitrateIndex).listing(kAudioBitrateItems).opt("audio-bitrate"),
    row(kParameter, "ASRCombo",      "4",   K::ListIndex,  &J::sampleRateIndex).listing(kSampleRateItems).opt("sample-rate"),
    row(kParameter, "ModeCombo",     "1",   K::ListIndex,  &J::encodeModeIndex).listing(kEncodeModeItems).opt("mode")
                                                                       .choosing(kEncodeModeWords),
    row(kParameter, "AutoCropCheck", "0",   K::CheckState, &J::autoCrop).opt("auto-crop"),

    // There are no drive letters here: the layout's root stands in for "C:\".
    row("Output Directory", "OutputText", "", K::OutputFolder, &J::outputDir).laidOutAs("/").opt("output-folder"),

    row(kTime, "TextStartTime", "0", K::Text,       &J::startTime).opt("start"),
    row(kTime, "TextEndTime",   "0", K::Text,       &J::endTime).then(FollowUp::EndNotBeforeStart).opt("end"),
    row(kTime, "frameCount",    "0", K::ClipLength, &J::totalTime).keyed("TotalTime").then(FollowUp::ClipCoversEnd),
    row(kTime, "CheckReverse",  "0", K::CheckState, &J::reverse).then(FollowUp::ShowTimeWindow).opt("reverse"),

    row(kColour, "HScrollHue", "0",  K::BarValue, &J::hue).bar({-180, 180, 10}, "LabelHue", LabelRule::Value).opt("hue")
                                                          .storingWhileDragged(),
    row(kColour, "HScrollSat", "15", K::BarValue, &J::saturation).bar({0, 100, 5}, "LabelSat", LabelRule::Tenths).opt("saturation")
                                                                 .laidOutAs("10"),
    row(kColour, "HScrollBri", "0",  K::BarValue, &J::brightness).bar({-255, 255, 10}, "LabelBri", LabelRule::Value)
                                                         .opt("brightness"),
    row(kColour, "HScrollCon", "10", K::BarValue, &J::contrast).bar({0, 100, 5}, "LabelCon", LabelRule::Tenths)
                                                          .opt("contrast"),
    row(kColour, "HScrollSha", "50", K::BarValue, &J::sharpness).bar({-158, 100, 10}, "LabelSha", LabelRule::Value).opt("sharpness")
                                                                .laidOutAs("0"),

    row(kAudio, "HScrollVol", "100", K::BarValue, &J::volume).bar({0, 1000, 50}, "LabelVol", LabelRule::Value)
                                                      .opt("volume"),
    row(kAudio, "OptionCha",  "0",   K::Option,   &J::channelMode).opt("channel").choosing(kChannelWords),
    row(kAudio, "HScrollDel", "0",   K::BarValue, &J::audioDelay).bar({-100, 100, 5}, "LabelDel", LabelRule::Tenths)
                                                         .opt("delay"),

    row(kExtern, "AudioFileText", "",              K::Text,       &J::audioFile).opt("audio").aFile(),
    row(kExtern, "SubFileText",   "",              K::Text,       &J::subtitleFile).opt("subtitles").aFile(),
    row(kExtern, "TextLogo",      "",              K::Text,       &J::logoText).opt("logo-text"),
    row(kExtern, "TextLogoX",     "0",             K::Text,       &J::logoX).opt("logo-x"),
    row(kExtern, "TextLogoY",     "0",             K::Text,       &J::logoY).opt("logo-y"),
    row(kExtern, "TextLogoStart", "0",             K::Text,       &J::logoStart).opt("logo-start"),
    row(kExtern, "TextLogoEnd",   "5",             K::Text,       &J::logoEnd).opt("logo-end"),
    row(kExtern, "TextLogo",      "MS Sans Serif", K::FontName,   &J::logoFontName).keyed("TextLogo.Font").opt("logo-font"),
    row(kExtern, "TextLogo",      "8",             K::FontSize,   &J::logoFontSize).keyed("TextLogo.FontSize").opt("logo-size"),
    row(kExtern, "TextLogo",      "0",             K::FontBold,   &J::logoBold).keyed("TextLogo.FontBold").opt("logo-bold"),
    row(kExtern, "TextLogo",      "0",             K::FontItalic, &J::logoItalic).keyed("TextLogo.FontItalic").opt("logo-italic"),
    row(kExtern, "TextLogo",      "0",             K::FontColour, &J::logoColor).keyed("TextLogo.ForeColor").opt("logo-colour"),

    row(kIntro, "TextIntVideo",     "",  K::Text,           &J::introVideoFile).opt("intro-video").aFile(),
    row(kIntro, "TextIntImage",     "",  K::Text,           &J::introImageFile).opt("intro-image").aFile(),
    row(kIntro, "OptionInt",        "0", K::SwitchedOption, &J::introType).opt("intro-type")
                                                                          .choosing(kIntroTypeWords),
    row(kIntro, "TextIntImageTime", "5", K::Text,           &J::introImageTime).opt("intro-image-time"),
    row(kIntro, "TextFadeTime",     "1", K::Text,           &J::introFadeTime).opt("intro-fade-time"),
    row(kIntro, "OptionFade",       "0", K::Option,         &J::introFadeMode).laidOutAs("1").opt("intro-fade")
                                                                          .choosing(kFadeWords),

    row("Others", "ShutDownCheck", "0", K::CheckState),
}};
// clang-format on

const Control *findControl(std::string_view name)
{
    for (const Control &control : kControls) {
        if (control.name == name)
            return &control;
    }
    return nullptr;
}

bool writesThrough(const Control &row)
{
    if (std::holds_alternative<std::monostate>(row.field))
        return false;
    switch (row.kind) {
    case ValueKind::Text:
    case ValueKind::OutputFolder:
    case ValueKind::ListIndex:
    case ValueKind::CheckState:
    case ValueKind::BarValue:
    case ValueKind::Option:
    case ValueKind::SwitchedOption:
        return true;
    case ValueKind::Folder:
    case ValueKind::FontName:
    case ValueKind::FontSize:
    case ValueKind::FontBold:
    case ValueKind::FontItalic:
    case ValueKind::FontColour:
    case ValueKind::ClipLength:
        break;
    }
    return false;
}

std::string_view layoutValue(const Control &row)
{
    return row.layoutValue.empty() ? row.defaultText : row.layoutValue;
}

std::string barLabelText(const Control &row, std::int32_t value)
{
    return row.labelRule == LabelRule::Tenths ? tenthsLabelText(value) : labelText(value);
}

std::optional<std::int32_t> itemNumber(std::span<const std::string_view> items, std::int32_t index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= items.size())
        return std::nullopt;
    return parseWhole(items[static_cast<std::size_t>(index)]);
}

JobSettings::JobSettings()
{
    // The window's values at start-up when there is no settings file, so a
    // record nobody filled in reads like a fresh window.
    for (const Control &row : kControls) {
        if (const auto *text = std::get_if<TextField>(&row.field))
            this->*(*text) = std::string(row.defaultText);
        else if (const auto *whole = std::get_if<IntField>(&row.field))
            this->*(*whole) = parseWhole(row.defaultText).value_or(0);
    }
}

} // namespace core
