#include "ui/logo_style.h"
#include "ui/qt_text.h"

#include "jobs/number_text.h"
#include "ui/prompter.h"
#include "window/window_rules.h"

#include <QAbstractButton>
#include <QColor>
#include <QLineEdit>
#include <QPalette>

namespace ui {

namespace {

QColor toColor(std::int32_t colour)
{
    const core::Rgb rgb = core::unpackColour(colour);
    return {rgb.red, rgb.green, rgb.blue};
}

} // namespace

LogoStyle::LogoStyle(QLineEdit &box, QAbstractButton &fontButton, QAbstractButton &colourButton, Prompter &prompter)
    : m_box(box)
    , m_prompter(prompter)
{
    // The style is kept in points, so the box's font must have a point size.
    const core::JobSettings defaults;
    QFont face = m_box.font();
    face.setPointSize(defaults.logoFontSize);
    m_box.setFont(face);
    QFont logo(qs(defaults.logoFontName));
    logo.setPointSizeF(defaults.logoFontSize);
    m_box.setFont(logo);
    setColour(defaults.logoColor);

    connect(&fontButton, &QAbstractButton::clicked, this, [this] { chooseFont(); });
    connect(&colourButton, &QAbstractButton::clicked, this, [this] { chooseColour(); });
}

QFont LogoStyle::font() const
{
    return m_box.font();
}

void LogoStyle::setFont(const QFont &font)
{
    m_box.setFont(font);
    emit changed();
}

std::int32_t LogoStyle::colour() const
{
    const QColor colour = m_box.palette().color(QPalette::Text);
    return core::packColour(colour.red(), colour.green(), colour.blue());
}

void LogoStyle::setColour(std::int32_t colour)
{
    QPalette palette = m_box.palette();
    palette.setColor(QPalette::Text, toColor(colour));
    m_box.setPalette(palette);
    emit changed();
}

void LogoStyle::load(const core::JobSettings &record)
{
    QFont face = font();
    face.setFamily(qs(record.logoFontName));
    if (record.logoFontSize > 0)
        face.setPointSizeF(record.logoFontSize);
    face.setBold(core::parseWhole(record.logoBold).value_or(0) != 0);
    face.setItalic(core::parseWhole(record.logoItalic).value_or(0) != 0);
    setFont(face);
    setColour(record.logoColor);
}

void LogoStyle::store(core::JobSettings &record) const
{
    const QFont face = font();
    record.logoFontName = face.family().toStdString();
    record.logoFontSize = core::recordedFontSize(face.pointSizeF());
    record.logoBold = face.bold() ? "1" : "0";
    record.logoItalic = face.italic() ? "1" : "0";
    record.logoColor = colour();
}

void LogoStyle::chooseFont()
{
    const auto chosen = m_prompter.chooseFont(font());
    if (!chosen)
        return;
    QFont face = font();
    face.setFamily(chosen->family());
    if (chosen->pointSizeF() > 0)
        face.setPointSizeF(chosen->pointSizeF());
    face.setBold(chosen->bold());
    face.setItalic(chosen->italic());
    setFont(face);
}

void LogoStyle::chooseColour()
{
    const auto chosen = m_prompter.chooseColor(toColor(colour()));
    if (chosen)
        setColour(core::packColour(chosen->red(), chosen->green(), chosen->blue()));
}

} // namespace ui
