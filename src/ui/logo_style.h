#pragma once

#include "jobs/job_settings.h"

#include <QFont>
#include <QObject>

#include <cstdint>

class QAbstractButton;
class QLineEdit;

namespace ui {

class Prompter;

// The text logo's style: its font and colour are TextLogo's own font and
// text colour, so the box shows the logo as it will look. cmdFont and
// cmdColor change them through their dialogs. Neither touches a job: a job
// keeps the style it was added with.
//
// The widgets belong to the window and are borrowed; window's thread only.
class LogoStyle final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LogoStyle)

public:
    // Gives [box] the default style.
    LogoStyle(QLineEdit &box, QAbstractButton &fontButton, QAbstractButton &colourButton, Prompter &prompter);

    QFont font() const;
    void setFont(const QFont &font);
    std::int32_t colour() const; // 0x00BBGGRR
    void setColour(std::int32_t colour);

    // The style a job records, in and out of its record.
    void load(const core::JobSettings &record);
    void store(core::JobSettings &record) const;

signals:
    void changed();

private:
    void chooseFont();
    void chooseColour();

    QLineEdit &m_box;
    Prompter &m_prompter;
};

} // namespace ui
