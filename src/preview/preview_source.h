#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace core {

// Single pictures of a conversion script's clip, as the encoder library's
// video pass would encode them. The real one is the library binding; tests
// use fakes. Called from the preview's worker thread only, never from the
// window's (but for abort()).
class PreviewSource
{
public:
    virtual ~PreviewSource() = default;

    // The clip's frame count; -1 with the reason in [error] when the script
    // cannot be opened.
    virtual std::int32_t previewFrames(const std::string &scriptPath, std::string &error) = 0;
    // Frame [index] as RGB, 3 bytes a pixel, rows top to bottom, into [rgb]
    // (resized to fit), its size into [width] and [height]. 0 on success,
    // -1 with the reason in [error].
    virtual std::int32_t preview(const std::string &scriptPath, std::int32_t index, std::vector<std::uint8_t> &rgb,
                                 std::int32_t &width, std::int32_t &height, std::string &error) = 0;
    // From another thread: cuts the call under way short (it fails).
    virtual void abort() {}
};

} // namespace core
