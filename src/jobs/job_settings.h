#pragma once

#include <cstdint>
#include <string>

namespace core {

// The settings of one job, one field per control of the settings panel.
// "Whole" fields are signed 32-bit; text fields hold what the control showed,
// unvalidated. Combo fields hold the selected index (-1 when none). Check-box
// fields hold 0 or 1. Field order is the declaration order the settings
// record has always had; keep it.
struct JobSettings
{
    std::int32_t frameRateIndex = 0;    // FRCombo: items "01".."20"
    std::string videoBitrate;           // VBRText, kbit/s as typed
    std::int32_t audioBitrateIndex = 0; // ABRCombo
    std::int32_t sampleRateIndex = 0;   // ASRCombo
    std::int32_t encodeModeIndex = 0;   // ModeCombo: 0 High Quality, 1 Normal Quality, 2 Fast Speed
    std::int32_t autoCrop = 0;          // AutoCropCheck
    std::string outputDir;              // OutputText
    std::string startTime;              // TextStartTime, whole seconds as text
    std::string endTime;                // TextEndTime, whole seconds as text
    std::int32_t totalTime = 0;         // clip length in whole seconds, set when the job is added
    std::int32_t reverse = 0;           // CheckReverse
    std::int32_t hue = 0;               // HScrollHue, -180..180
    std::int32_t saturation = 0;        // HScrollSat, tenths, 0..100
    std::int32_t brightness = 0;        // HScrollBri, -255..255
    std::int32_t contrast = 0;          // HScrollCon, tenths, 0..100
    std::int32_t sharpness = 0;         // HScrollSha, hundredths, -158..100
    std::int32_t volume = 0;            // HScrollVol, per cent, 0..1000
    std::int32_t channelMode = 0;       // OptionCha: 0 stereo, 1 left, 2 right
    std::int32_t audioDelay = 0;        // HScrollDel, tenths of a second, -100..100
    std::string audioFile;              // AudioFileText
    std::string subtitleFile;           // SubFileText
    std::string logoText;               // TextLogo
    std::string logoX;                  // TextLogoX
    std::string logoY;                  // TextLogoY
    std::string logoStart;              // TextLogoStart, seconds
    std::string logoEnd;                // TextLogoEnd, seconds
    std::string logoFontName;           // font of TextLogo
    std::int32_t logoFontSize = 0;      // whole points (halves to even)
    std::string logoBold;               // "1" or "0"
    std::string logoItalic;             // "1" or "0"
    std::int32_t logoColor = 0;         // 0x00BBGGRR
    std::int32_t introType = 0;         // OptionInt: 0 video, 1 image
    std::string introVideoFile;         // TextIntVideo
    std::string introImageFile;         // TextIntImage
    std::string introImageTime;         // TextIntImageTime, seconds
    std::string introFadeTime;          // TextFadeTime, seconds
    std::int32_t introFadeMode = 0;     // OptionFade: 0 In, 1 Out, 2 In/Out, 3 Overlap

    bool operator==(const JobSettings &) const = default;
};

} // namespace core
