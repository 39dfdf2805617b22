#pragma once

#include <cstdint>
#include <string>

namespace core {

// The encoder library as the program sees it, blocking: the six entry points
// plus the reason for the last failure. The real one asks a helper process
// that serves the library; tests use fakes. Calls come from one thread at a
// time (a probe or check thread, never the window's); only abort() may come
// from another.
class Encoder
{
public:
    virtual ~Encoder() = default;

    virtual std::int32_t begin(const std::string &scriptPath, const std::string &outputPath, std::int32_t videoBitrate,
                               std::int32_t audioBitrate, std::int32_t sampleRate, std::int32_t videoPass,
                               std::int32_t mode) = 0;
    virtual std::int32_t frame() = 0;
    virtual std::int32_t encoding() = 0;
    virtual std::int32_t leftTime() = 0;
    virtual std::int32_t end() = 0;
    virtual std::int32_t getFrame(const std::string &scriptPath) = 0;
    virtual std::string lastError() = 0;
    // Cuts the call under way short (it fails); later calls work again.
    virtual void abort() {}
};

} // namespace core
