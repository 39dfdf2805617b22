#pragma once

#include "convert/encoder.h"
#include "convert/encoder_channel.h"
#include "convert/event_loop.h"
#include "preview/preview_source.h"

#include <memory>
#include <string>

namespace core {

// Where a front end gets its encoders: each one a helper process of its own
// in the program, fakes in tests.
class EncoderServices
{
public:
    virtual ~EncoderServices() = default;

    // Empty when the helpers can run; otherwise the one message that says
    // what is missing, where, and what to do.
    virtual std::string problem() = 0;
    // The passes of a run, answering on [loop].
    virtual std::unique_ptr<EncoderChannel> passes(EventLoop &loop) = 0;
    // A blocking encoder for one thread other than the loop's (the probes of
    // an add, the check before the first pass).
    virtual std::unique_ptr<Encoder> prober() = 0;
    // The preview's pictures, for the preview's own thread.
    virtual std::unique_ptr<PreviewSource> previews() = 0;
};

} // namespace core
