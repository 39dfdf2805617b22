#pragma once

// The built libTarvikDll.so loaded with dlopen, as the program loads it, for
// the tests that drive both passes through the C interface.

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <chrono>
#include <cstdint>
#include <thread>

namespace mediatest {

struct TarvikApi
{
    using Begin = int32_t (*)(const char *, const char *, int32_t, int32_t, int32_t, int32_t, int32_t);
    using NoArgs = int32_t (*)();
    using GetFrame = int32_t (*)(const char *);
    using LastError = const char *(*)();

    void *handle = nullptr;
    Begin begin = nullptr;
    NoArgs frame = nullptr, encoding = nullptr, leftTime = nullptr, end = nullptr;
    GetFrame getFrame = nullptr;
    LastError lastError = nullptr;

    static TarvikApi &get()
    {
        static TarvikApi api = load();
        return api;
    }

    static TarvikApi load()
    {
        TarvikApi a;
        a.handle = dlopen(TARVIK_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!a.handle)
            return a;
        a.begin = reinterpret_cast<Begin>(dlsym(a.handle, "Encode_Begin"));
        a.frame = reinterpret_cast<NoArgs>(dlsym(a.handle, "Encode_Frame"));
        a.encoding = reinterpret_cast<NoArgs>(dlsym(a.handle, "Encode_Encoding"));
        a.leftTime = reinterpret_cast<NoArgs>(dlsym(a.handle, "Encode_GetLeftTime"));
        a.end = reinterpret_cast<NoArgs>(dlsym(a.handle, "Encode_End"));
        a.getFrame = reinterpret_cast<GetFrame>(dlsym(a.handle, "Encode_GetFrame"));
        a.lastError = reinterpret_cast<LastError>(dlsym(a.handle, "Encode_GetLastError"));
        return a;
    }

    // Polls like the conversion run: until 100, progress never going down.
    int32_t waitAndEnd() const
    {
        int32_t last = 0;
        for (int i = 0; i < 12000; ++i) {
            const int32_t p = encoding();
            EXPECT_GE(p, last);
            EXPECT_LE(p, 100);
            EXPECT_GE(leftTime(), 0);
            last = p;
            if (p >= 100)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(last, 100);
        return end();
    }
};

} // namespace mediatest
