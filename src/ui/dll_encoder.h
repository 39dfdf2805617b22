#pragma once

#include "convert/encoder.h"
#include "preview/preview_source.h"

#include <QLibrary>
#include <QString>

#include <functional>
#include <mutex>
#include <string>

namespace ui {

// The encoder library bound by name: libTarvikDll in the program's folder,
// loaded at the first call. This class is the only caller of its C entry
// points; paths cross as UTF-8.
//
// When the library or one of the six entry points is missing, [report] is
// called once with a message naming the file, and every call behaves as a
// failed one: begin -1, frame 0, encoding 100 (so that a waiting caller stops
// polling), leftTime 0, end -1, getFrame 0; lastError() gives the message.
// Encode_GetLastError is optional. end() before any other call does not load
// the library: no pass can be open, so it returns 0.
//
// The two preview calls come from the preview's worker thread: they bind
// the library on their own (never reporting through [report], whose
// messages belong to the window's thread) and give a missing library or
// entry point as their reason.
class DllEncoder final : public core::Encoder, public core::PreviewSource
{
public:
    using Reporter = std::function<void(const std::string &message)>;

    DllEncoder(const QString &programFolder, Reporter report);
    ~DllEncoder() override;
    DllEncoder(const DllEncoder &) = delete;
    DllEncoder &operator=(const DllEncoder &) = delete;

    // The library file this binding loads.
    static QString libraryPath(const QString &programFolder);

    std::int32_t begin(const std::string &scriptPath, const std::string &outputPath, std::int32_t videoBitrate,
                       std::int32_t audioBitrate, std::int32_t sampleRate, std::int32_t videoPass,
                       std::int32_t mode) override;
    std::int32_t frame() override;
    std::int32_t encoding() override;
    std::int32_t leftTime() override;
    std::int32_t end() override;
    std::int32_t getFrame(const std::string &scriptPath) override;
    std::string lastError() override;

    std::int32_t previewFrames(const std::string &scriptPath, std::string &error) override;
    std::int32_t preview(const std::string &scriptPath, std::int32_t index, std::vector<std::uint8_t> &rgb,
                         std::int32_t &width, std::int32_t &height, std::string &error) override;

private:
    using BeginFn = std::int32_t (*)(const char *, const char *, std::int32_t, std::int32_t, std::int32_t,
                                     std::int32_t, std::int32_t);
    using CountFn = std::int32_t (*)();
    using GetFrameFn = std::int32_t (*)(const char *);
    using LastErrorFn = const char *(*)();

    using PreviewFn = std::int32_t (*)(const char *, std::int32_t, std::uint8_t *, std::int32_t, std::int32_t *,
                                       std::int32_t *);

    // Loads the library and resolves the entry points on the first call; true
    // when all six are there.
    bool ready();
    // The same for the preview's entry points, under m_previewMutex; empty
    // when bound, else the reason.
    std::string previewReady();

    QLibrary m_library;
    Reporter m_report;
    bool m_tried = false;
    std::string m_loadError; // empty when the library is bound
    BeginFn m_begin = nullptr;
    CountFn m_frame = nullptr;
    CountFn m_encoding = nullptr;
    CountFn m_leftTime = nullptr;
    CountFn m_end = nullptr;
    GetFrameFn m_getFrame = nullptr;
    LastErrorFn m_lastError = nullptr;

    std::mutex m_previewMutex; // the members below
    QLibrary m_previewLibrary;
    bool m_previewTried = false;
    std::string m_previewLoadError;
    GetFrameFn m_previewFrames = nullptr;
    PreviewFn m_preview = nullptr;
    LastErrorFn m_previewLastError = nullptr;
};

} // namespace ui
