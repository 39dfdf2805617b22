#pragma once

#include <cstdint>
#include <string>

namespace core {

// The settings of one job. "Whole" fields are signed 32-bit; text fields hold
// what the control showed, unvalidated. Combo fields hold the selected index
// (-1 when none). Check-box fields hold 0 or 1. Field order is the declaration
// order the settings record has always had; keep it.
//
// Which control each field mirrors, its range or items and its default are
// rows of the control table (jobs/controls.h). A default-constructed record
// holds those defaults: what a fresh window shows when there is no settings
// file (the output folder, which depends on the user, stays empty).
struct JobSettings
{
    JobSettings();

    std::int32_t frameRateIndex{};    // index into the frame-rate items (1 to 20 frames/s)
    std::string videoBitrate;         // kbit/s as typed
    std::int32_t audioBitrateIndex{}; // index into the audio bit-rate items (kbit/s)
    std::int32_t sampleRateIndex{};   // index into the sample-rate items (Hz)
    std::int32_t encodeModeIndex{};   // 0 High Quality, 1 Normal Quality, 2 Fast Speed
    std::int32_t autoCrop{};          // 1: crop black edges
    std::string outputDir;
    std::string startTime;            // whole seconds as text
    std::string endTime;              // whole seconds as text
    std::int32_t totalTime{};         // clip length in whole seconds, set when the job is added
    std::int32_t reverse{};           // 1: encode in reverse
    std::int32_t hue{};               // 0: no change
    std::int32_t saturation{};        // tenths; 10: no change
    std::int32_t brightness{};        // 0: no change
    std::int32_t contrast{};          // tenths; 10: no change
    std::int32_t sharpness{};         // hundredths; 0: no change
    std::int32_t volume{};            // per cent; 100: no change
    std::int32_t channelMode{};       // 0 stereo, 1 left, 2 right
    std::int32_t audioDelay{};        // tenths of a second
    std::string audioFile;
    std::string subtitleFile;
    std::string logoText;
    std::string logoX;
    std::string logoY;
    std::string logoStart;            // seconds
    std::string logoEnd;              // seconds
    std::string logoFontName;
    std::int32_t logoFontSize{};      // whole points (halves to even)
    std::string logoBold;             // "1" or "0"
    std::string logoItalic;           // "1" or "0"
    std::int32_t logoColor{};         // 0x00BBGGRR
    std::int32_t introType{};         // 0 video, 1 image
    std::string introVideoFile;
    std::string introImageFile;
    std::string introImageTime;       // seconds
    std::string introFadeTime;        // seconds
    std::int32_t introFadeMode{};     // 0 In, 1 Out, 2 In/Out, 3 Overlap

    bool operator==(const JobSettings &) const = default;
};

} // namespace core
