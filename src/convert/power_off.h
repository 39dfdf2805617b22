#pragma once

#include <string>

namespace core {

// The forced power-off at the end of a completed run. Kept behind an interface
// so that only the real window ever reaches the system call, never a test.
class PowerOff
{
public:
    struct Result
    {
        bool accepted = false; // the system took the request; the program may be ending
        std::string reason;    // why it was refused (empty when accepted)
    };

    virtual ~PowerOff() = default;

    // Asks the system to power the machine off, forced (no application may veto it).
    virtual Result request() = 0;
};

} // namespace core
