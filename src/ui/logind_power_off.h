#pragma once

#include "convert/power_off.h"

namespace ui {

// Powers the machine off through the login manager (systemd-logind's
// org.freedesktop.login1.Manager.PowerOff on the system bus), without asking
// the user interactively: the request is either allowed by the system's
// policy for this user or refused. There is no other fallback.
class LogindPowerOff final : public core::PowerOff
{
public:
    Result request() override;
};

} // namespace ui
