#pragma once

// The encoder library's C interface, loaded with dlopen as the window loads
// it; for the tests and tools that drive passes without the window.

#include <dlfcn.h>

#include <chrono>
#include <cstdint>
#include <thread>
#include <type_traits>

namespace support {

struct TarvikApi
{
    using Begin = int32_t (*)(const char *, const char *, int32_t, int32_t, int32_t, int32_t, int32_t);
    using NoArgs = int32_t (*)();
    using GetFrame = int32_t (*)(const char *);
    using LastError = const char *(*)();
    using Preview = int32_t (*)(const char *, int32_t, uint8_t *, int32_t, int32_t *, int32_t *);

    void *handle = nullptr;
    Begin begin = nullptr;
    NoArgs frame = nullptr, encoding = nullptr, leftTime = nullptr, end = nullptr;
    GetFrame getFrame = nullptr;
    LastError lastError = nullptr;
    LastError notes = nullptr; // optional: notes about concealed damage
    Preview preview = nullptr; // optional: single pictures, and their count
    GetFrame previewFrames = nullptr;

    // Stays loaded until exit, as in the window. Every member is null when
    // the library or one of its entry points is missing (dlerror() says why).
    static TarvikApi load(const char *path)
    {
        TarvikApi a;
        a.handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (!a.handle)
            return a;
        const auto entry = [&a](auto &slot, const char *name) {
            slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(dlsym(a.handle, name));
            return slot != nullptr;
        };
        if (!(entry(a.begin, "Encode_Begin") && entry(a.frame, "Encode_Frame") && entry(a.encoding, "Encode_Encoding")
              && entry(a.leftTime, "Encode_GetLeftTime") && entry(a.end, "Encode_End")
              && entry(a.getFrame, "Encode_GetFrame") && entry(a.lastError, "Encode_GetLastError")))
            a = TarvikApi{};
        else {
            entry(a.notes, "Encode_GetNotes");
            entry(a.preview, "Encode_Preview");
            entry(a.previewFrames, "Encode_PreviewFrames");
        }
        return a;
    }

    bool loaded() const { return lastError != nullptr; }

    // Polls the open pass like the conversion run until it reports 100 per
    // cent, then ends it: Encode_End's result.
    int32_t finish() const
    {
        while (encoding() < 100)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return end();
    }
};

} // namespace support
