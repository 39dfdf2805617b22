#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace settings {

// What loading and saving the settings need from the main window, which
// implements it. [name] is a core::Control::name: a control's object name, an
// option group's name, or a window field ("videoOpenDir"... for the picker
// folders). Putting a value into a control runs the control's own change
// handling, exactly as a user's change would. Called on the window's thread.
class SettingsTarget
{
public:
    virtual ~SettingsTarget() = default;

    // Text boxes and the picker folders.
    virtual void setText(std::string_view name, std::string_view text) = 0;
    // Empty when there is no such control.
    virtual std::optional<std::string> text(std::string_view name) const = 0;

    // Combo box index, check state or scroll bar value. False when the
    // control refuses it: an index beyond the items or below -1, a value
    // outside the bar's range, a check state other than 0, 1 or 2.
    virtual bool setNumber(std::string_view name, std::int16_t value) = 0;
    // The control's value (a combo box with nothing selected gives -1); empty
    // when there is no such control.
    virtual std::optional<std::int32_t> number(std::string_view name) const = 0;

    // Selects button [index] of an option group; when it was not selected
    // before, the group's click handling runs as for a user's click. False
    // when the group has no such button.
    virtual bool selectOption(std::string_view group, std::int16_t index) = 0;
    // The group's switch with [index]: the panel switch for "OptionSel", the
    // introduction-type switch for "OptionInt". Called right after
    // selectOption() for those two, whether or not the selection changed.
    virtual void runOptionSwitch(std::string_view group, std::int16_t index) = 0;
    // The first selected button in index order; empty when none is selected.
    virtual std::optional<std::int16_t> selectedOption(std::string_view group) const = 0;

    // The logo font of the logo text box.
    virtual void setLogoFontName(std::string_view faceName) = 0;
    // False when the font refuses the size.
    virtual bool setLogoFontSize(std::int32_t points) = 0;
    virtual void setLogoFontBold(bool bold) = 0;
    virtual void setLogoFontItalic(bool italic) = 0;
    // 0x00BBGGRR.
    virtual void setLogoColour(std::int32_t colour) = 0;
    virtual std::string logoFontName() const = 0;
    // Points, with any fraction the font carries.
    virtual double logoFontSize() const = 0;
    virtual bool logoFontBold() const = 0;
    virtual bool logoFontItalic() const = 0;
    virtual std::int32_t logoColour() const = 0;

    // The clip length in whole seconds (frameCount).
    virtual void setFrameCount(std::int32_t seconds) = 0;
    virtual std::int32_t frameCount() const = 0;

    // Refreshes the time window after loading: "LabelTotal" shows
    // [frameCountSec] as hh:mm:ss, "SliderTime"'s maximum becomes
    // [frameCountSec] (1 when below 1), "Labelstart" and "Labelend" show
    // [startSec] and [endSec] as hh:mm:ss.
    virtual void showTimeWindow(std::int32_t frameCountSec, std::int32_t startSec, std::int32_t endSec) = 0;
};

} // namespace settings
