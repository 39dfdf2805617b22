#pragma once

#include "settings/settings_target.h"

#include <QString>

#include <functional>

class QWidget;

namespace ui {

class LogoStyle;
class TimeWindow;
struct PickerFolders;

// The main window as the settings file sees it. Each key's control is found
// by its object name among the window's controls, and the real control
// decides what it accepts: a combo box's item count, a bar's range, a check
// box's three states. The picker folders, the logo's style and frameCount
// are kept by their own parts of the window.
//
// Borrows every part, which must outlive it; window's thread only.
class WindowSettings final : public settings::SettingsTarget
{
public:
    struct Parts
    {
        QWidget &controls;
        PickerFolders &folders;
        LogoStyle &logo;
        TimeWindow &time;
        // What a selected option runs (OptionSel shows its panel, OptionInt
        // enables its rows).
        std::function<void(std::string_view group, std::int16_t index)> optionSwitch;
    };

    // The logo font sizes the text box takes, in points.
    static constexpr std::int32_t kMinFontPoints = 1;
    static constexpr std::int32_t kMaxFontPoints = 2048;

    explicit WindowSettings(Parts parts);

    void setText(std::string_view name, std::string_view text) override;
    std::optional<std::string> text(std::string_view name) const override;
    bool setNumber(std::string_view name, std::int16_t value) override;
    std::optional<std::int32_t> number(std::string_view name) const override;
    bool selectOption(std::string_view group, std::int16_t index) override;
    void runOptionSwitch(std::string_view group, std::int16_t index) override;
    std::optional<std::int16_t> selectedOption(std::string_view group) const override;

    void setLogoFontName(std::string_view faceName) override;
    bool setLogoFontSize(std::int32_t points) override;
    void setLogoFontBold(bool bold) override;
    void setLogoFontItalic(bool italic) override;
    void setLogoColour(std::int32_t colour) override;
    std::string logoFontName() const override;
    double logoFontSize() const override;
    bool logoFontBold() const override;
    bool logoFontItalic() const override;
    std::int32_t logoColour() const override;

    void setFrameCount(std::int32_t seconds) override;
    std::int32_t frameCount() const override;
    void showTimeWindow(std::int32_t frameCountSec, std::int32_t startSec, std::int32_t endSec) override;

private:
    // The picker folder field named [name] ("videoOpenDir" ...), or nullptr.
    QString *folder(std::string_view name) const;
    template <typename W>
    W *control(std::string_view name) const;

    Parts m_parts;
};

} // namespace ui
