#include "ui/power_off_countdown.h"
#include "ui/qt_text.h"

#include "convert/batch_texts.h"
#include "window/window_rules.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace ui {

PowerOffCountdown::PowerOffCountdown(int seconds, QWidget *parent)
    : QDialog(parent)
    , m_secondsLeft(seconds)
{
    setObjectName(QStringLiteral("PowerOffCountdown"));
    setWindowTitle(qs(core::kProgramName));
    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("LabelCountdown"));
    auto *now = new QPushButton(qs(core::kPowerOffNowButton), this);
    now->setObjectName(QStringLiteral("cmdPowerOffNow"));
    auto *cancel = new QPushButton(qs(core::kCancelButton), this);
    cancel->setObjectName(QStringLiteral("cmdCancelPowerOff"));
    // Cancel is the default: a stray Enter must not power the machine off.
    cancel->setDefault(true);
    connect(now, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(now);
    buttons->addWidget(cancel);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 12);
    layout->setSpacing(16);
    layout->addWidget(m_text);
    layout->addLayout(buttons);

    connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
    setMinimumWidth(340);
    m_timer.start(1000);
    m_text->setText(qs(core::powerOffCountdownText(m_secondsLeft)));
}

void PowerOffCountdown::tick()
{
    --m_secondsLeft;
    if (m_secondsLeft <= 0) {
        m_timer.stop();
        accept();
        return;
    }
    m_text->setText(qs(core::powerOffCountdownText(m_secondsLeft)));
}

} // namespace ui
