#pragma once

// Which control mirrors which field of a job's record. One table drives
// loading a record into the controls, making a record from the controls, and
// the write-through of every change into the selected job.

#include "jobs/job_settings.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace ui {

enum class ControlKind {
    Combo,   // QComboBox: selected index, -1 when none
    Text,    // QLineEdit: text
    Check,   // QCheckBox: 0 or 1
    Bar,     // QScrollBar: value
    Options, // radio buttons "<name>_0".."<name>_n": index of the checked one
};

// How a bar's value label reads.
enum class LabelRule { None, Value, Tenths };

// A step of loading a record that follows the row's control.
enum class AfterLoad {
    Nothing,
    TimeWindow, // frameCount from the record, slider and the four time labels
    LogoFont,   // font and colour of TextLogo from the record
};

using IntField = std::int32_t core::JobSettings::*;
using TextField = std::string core::JobSettings::*;

struct ControlBinding
{
    std::string_view control; // objectName, or the option group's name
    ControlKind kind;
    std::variant<IntField, TextField> field;
    std::string_view label = {}; // a bar's value label
    LabelRule rule = LabelRule::None;
    // A bar whose value is stored while its thumb is dragged, not only when it
    // is let go.
    bool storesWhileDragging = false;
    AfterLoad after = AfterLoad::Nothing;
};

// In the order in which selecting a job loads its record.
// clang-format off
inline const std::array<ControlBinding, 31> kControlBindings{{
    {"FRCombo",          ControlKind::Combo,   &core::JobSettings::frameRateIndex},
    {"VBRText",          ControlKind::Text,    &core::JobSettings::videoBitrate},
    {"ABRCombo",         ControlKind::Combo,   &core::JobSettings::audioBitrateIndex},
    {"ASRCombo",         ControlKind::Combo,   &core::JobSettings::sampleRateIndex},
    {"ModeCombo",        ControlKind::Combo,   &core::JobSettings::encodeModeIndex},
    {"AutoCropCheck",    ControlKind::Check,   &core::JobSettings::autoCrop},
    {"OutputText",       ControlKind::Text,    &core::JobSettings::outputDir},
    {"TextStartTime",    ControlKind::Text,    &core::JobSettings::startTime},
    {"TextEndTime",      ControlKind::Text,    &core::JobSettings::endTime},
    {"CheckReverse",     ControlKind::Check,   &core::JobSettings::reverse, {}, LabelRule::None, false, AfterLoad::TimeWindow},
    {"HScrollHue",       ControlKind::Bar,     &core::JobSettings::hue,        "LabelHue", LabelRule::Value,  true},
    {"HScrollSat",       ControlKind::Bar,     &core::JobSettings::saturation, "LabelSat", LabelRule::Tenths},
    {"HScrollBri",       ControlKind::Bar,     &core::JobSettings::brightness, "LabelBri", LabelRule::Value},
    {"HScrollCon",       ControlKind::Bar,     &core::JobSettings::contrast,   "LabelCon", LabelRule::Tenths},
    {"HScrollSha",       ControlKind::Bar,     &core::JobSettings::sharpness,  "LabelSha", LabelRule::Value},
    {"HScrollVol",       ControlKind::Bar,     &core::JobSettings::volume,     "LabelVol", LabelRule::Value},
    {"OptionCha",        ControlKind::Options, &core::JobSettings::channelMode},
    {"HScrollDel",       ControlKind::Bar,     &core::JobSettings::audioDelay, "LabelDel", LabelRule::Tenths},
    {"AudioFileText",    ControlKind::Text,    &core::JobSettings::audioFile},
    {"SubFileText",      ControlKind::Text,    &core::JobSettings::subtitleFile},
    {"TextLogo",         ControlKind::Text,    &core::JobSettings::logoText},
    {"TextLogoX",        ControlKind::Text,    &core::JobSettings::logoX},
    {"TextLogoY",        ControlKind::Text,    &core::JobSettings::logoY},
    {"TextLogoStart",    ControlKind::Text,    &core::JobSettings::logoStart},
    {"TextLogoEnd",      ControlKind::Text,    &core::JobSettings::logoEnd, {}, LabelRule::None, false, AfterLoad::LogoFont},
    {"OptionInt",        ControlKind::Options, &core::JobSettings::introType},
    {"TextIntVideo",     ControlKind::Text,    &core::JobSettings::introVideoFile},
    {"TextIntImage",     ControlKind::Text,    &core::JobSettings::introImageFile},
    {"TextIntImageTime", ControlKind::Text,    &core::JobSettings::introImageTime},
    {"TextFadeTime",     ControlKind::Text,    &core::JobSettings::introFadeTime},
    {"OptionFade",       ControlKind::Options, &core::JobSettings::introFadeMode},
}};
// clang-format on

// The row of [control], or nullptr.
inline const ControlBinding *findBinding(std::string_view control)
{
    for (const auto &binding : kControlBindings)
        if (binding.control == control)
            return &binding;
    return nullptr;
}

} // namespace ui
