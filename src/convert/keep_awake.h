#pragma once

#include <string>

namespace core {

// Keeps the computer from sleeping while a batch converts (a lock that the
// system holds for as long as we keep it; a crash of the program releases
// it with the process). Front ends without one pass none.
class KeepAwake
{
public:
    virtual ~KeepAwake() = default;

    // Takes the lock, saying [why] ("Converting 3 videos"); empty when held,
    // otherwise why it could not be had (the batch converts anyway).
    virtual std::string acquire(const std::string &why) = 0;
    // Lets it go; harmless when not held.
    virtual void release() = 0;
};

// Logged once when the lock could not be had.
inline constexpr const char *kMaySleepText = "The computer may go to sleep during the conversion: ";

} // namespace core
