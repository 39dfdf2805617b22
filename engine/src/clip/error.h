#pragma once

#include <stdexcept>
#include <string>

namespace engine {

// Every failure inside the engine: a message a user can act on. The C shim
// turns it into -1 and Encode_GetLastError's text.
class Error : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// libav's text for the error code ret (a negative AVERROR value), as every
// message about a failed libav call quotes it.
std::string avErrorText(int ret);

// Throws engine::Error("<what>: <libav message>") when ret < 0; returns ret.
int check(int ret, const char *what);

} // namespace engine
