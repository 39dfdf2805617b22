#include "ui/window_settings.h"
#include "ui/qt_text.h"

#include "ui/file_pickers.h"
#include "ui/logo_style.h"
#include "ui/time_window.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>

namespace ui {

WindowSettings::WindowSettings(Parts parts)
    : m_parts(std::move(parts))
{
}

QString *WindowSettings::folder(std::string_view name) const
{
    PickerFolders &folders = m_parts.folders;
    if (name == "videoOpenDir")
        return &folders.video;
    if (name == "audioOpenDir")
        return &folders.audio;
    if (name == "subOpenDir")
        return &folders.subtitle;
    if (name == "videoIntOpenDir")
        return &folders.introVideo;
    if (name == "imageIntOpenDir")
        return &folders.introImage;
    return nullptr;
}

template <typename W>
W *WindowSettings::control(std::string_view name) const
{
    return m_parts.controls.findChild<W *>(qs(name));
}

void WindowSettings::setText(std::string_view name, std::string_view text)
{
    if (QString *field = folder(name))
        *field = qs(text);
    else if (auto *box = control<QLineEdit>(name))
        box->setText(qs(text));
}

std::optional<std::string> WindowSettings::text(std::string_view name) const
{
    if (const QString *field = folder(name))
        return field->toStdString();
    if (const auto *box = control<QLineEdit>(name))
        return box->text().toStdString();
    return std::nullopt;
}

bool WindowSettings::setNumber(std::string_view name, std::int16_t value)
{
    if (auto *combo = control<QComboBox>(name)) {
        if (value < -1 || value >= combo->count())
            return false;
        combo->setCurrentIndex(value);
        return true;
    }
    if (auto *check = control<QCheckBox>(name)) {
        if (value < Qt::Unchecked || value > Qt::Checked)
            return false;
        check->setCheckState(static_cast<Qt::CheckState>(value));
        return true;
    }
    if (auto *bar = control<QScrollBar>(name)) {
        if (value < bar->minimum() || value > bar->maximum())
            return false;
        bar->setValue(value);
        return true;
    }
    return false;
}

std::optional<std::int32_t> WindowSettings::number(std::string_view name) const
{
    if (const auto *combo = control<QComboBox>(name))
        return combo->currentIndex();
    if (const auto *check = control<QCheckBox>(name))
        return static_cast<std::int32_t>(check->checkState());
    if (const auto *bar = control<QScrollBar>(name))
        return bar->value();
    return std::nullopt;
}

bool WindowSettings::selectOption(std::string_view group, std::int16_t index)
{
    auto *buttons = control<QButtonGroup>(group);
    QAbstractButton *button = buttons != nullptr ? buttons->button(index) : nullptr;
    if (button == nullptr)
        return false;
    button->setChecked(true);
    return true;
}

void WindowSettings::runOptionSwitch(std::string_view group, std::int16_t index)
{
    m_parts.optionSwitch(group, index);
}

std::optional<std::int16_t> WindowSettings::selectedOption(std::string_view group) const
{
    const auto *buttons = control<QButtonGroup>(group);
    if (buttons == nullptr)
        return std::nullopt;
    for (std::int16_t index = 0; const QAbstractButton *button = buttons->button(index); ++index) {
        if (button->isChecked())
            return index;
    }
    return std::nullopt;
}

void WindowSettings::setLogoFontName(std::string_view faceName)
{
    QFont font = m_parts.logo.font();
    font.setFamily(qs(faceName));
    m_parts.logo.setFont(font);
}

bool WindowSettings::setLogoFontSize(std::int32_t points)
{
    if (points < kMinFontPoints || points > kMaxFontPoints)
        return false;
    QFont font = m_parts.logo.font();
    font.setPointSize(points);
    m_parts.logo.setFont(font);
    return true;
}

void WindowSettings::setLogoFontBold(bool bold)
{
    QFont font = m_parts.logo.font();
    font.setBold(bold);
    m_parts.logo.setFont(font);
}

void WindowSettings::setLogoFontItalic(bool italic)
{
    QFont font = m_parts.logo.font();
    font.setItalic(italic);
    m_parts.logo.setFont(font);
}

void WindowSettings::setLogoColour(std::int32_t colour)
{
    m_parts.logo.setColour(colour);
}

std::string WindowSettings::logoFontName() const
{
    return m_parts.logo.font().family().toStdString();
}

double WindowSettings::logoFontSize() const
{
    return m_parts.logo.font().pointSizeF();
}

bool WindowSettings::logoFontBold() const
{
    return m_parts.logo.font().bold();
}

bool WindowSettings::logoFontItalic() const
{
    return m_parts.logo.font().italic();
}

std::int32_t WindowSettings::logoColour() const
{
    return m_parts.logo.colour();
}

void WindowSettings::setFrameCount(std::int32_t seconds)
{
    m_parts.time.setFrameCount(seconds);
}

std::int32_t WindowSettings::frameCount() const
{
    return m_parts.time.frameCount();
}

void WindowSettings::showTimeWindow(std::int32_t frameCountSec, std::int32_t startSec, std::int32_t endSec)
{
    m_parts.time.show(frameCountSec, startSec, endSec);
}

} // namespace ui
