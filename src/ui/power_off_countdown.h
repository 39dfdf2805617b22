#pragma once

#include <QDialog>
#include <QTimer>

class QLabel;

namespace ui {

// The last word before the machine goes down after a batch: "The computer
// will power off in N s", counting down once a second. Accepted when the
// count runs out or "Power off now" is pressed; rejected by "Cancel" (or
// Escape, or closing it). Object names: PowerOffCountdown, LabelCountdown,
// cmdPowerOffNow, cmdCancelPowerOff.
class PowerOffCountdown final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PowerOffCountdown)

public:
    explicit PowerOffCountdown(int seconds, QWidget *parent = nullptr);

private:
    void tick();

    QLabel *m_text = nullptr;
    QTimer m_timer;
    int m_secondsLeft = 0;
};

} // namespace ui
