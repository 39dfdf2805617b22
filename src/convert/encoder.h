#pragma once

#include <cstdint>
#include <string>

namespace core {

// The encoder library as the program sees it: the six entry points plus the
// reason for the last failure. The real one binds libTarvikDll by name; tests
// use fakes. All calls come from the window's thread.
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
};

} // namespace core
