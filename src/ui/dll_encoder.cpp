#include "ui/dll_encoder.h"

#include <QDir>

#include <algorithm>

namespace ui {

namespace {

#if defined(_WIN32)
constexpr const char *kLibraryFile = "TarvikDll.dll";
#else
constexpr const char *kLibraryFile = "libTarvikDll.so";
#endif

template <typename Fn>
Fn resolveAs(QLibrary &library, const char *name)
{
    return reinterpret_cast<Fn>(library.resolve(name));
}

} // namespace

DllEncoder::DllEncoder(const QString &programFolder, Reporter report)
    : m_library(libraryPath(programFolder))
    , m_report(std::move(report))
    , m_previewLibrary(libraryPath(programFolder))
{
}

// The library stays loaded until the program ends: a pass's worker thread may
// still be running inside it while the window goes away.
DllEncoder::~DllEncoder() = default;

QString DllEncoder::libraryPath(const QString &programFolder)
{
    return QDir(programFolder).filePath(QString::fromLatin1(kLibraryFile));
}

bool DllEncoder::ready()
{
    if (m_tried)
        return m_loadError.empty();
    m_tried = true;

    const std::string file = QDir::toNativeSeparators(m_library.fileName()).toStdString();
    if (!m_library.load()) {
        m_loadError = "The encoder library \"" + file + "\" cannot be loaded: " + m_library.errorString().toStdString();
    } else {
        m_begin = resolveAs<BeginFn>(m_library, "Encode_Begin");
        m_frame = resolveAs<CountFn>(m_library, "Encode_Frame");
        m_encoding = resolveAs<CountFn>(m_library, "Encode_Encoding");
        m_leftTime = resolveAs<CountFn>(m_library, "Encode_GetLeftTime");
        m_end = resolveAs<CountFn>(m_library, "Encode_End");
        m_getFrame = resolveAs<GetFrameFn>(m_library, "Encode_GetFrame");
        m_lastError = resolveAs<LastErrorFn>(m_library, "Encode_GetLastError");
        const std::pair<const char *, bool> required[] = {
            {"Encode_Begin", m_begin != nullptr},      {"Encode_Frame", m_frame != nullptr},
            {"Encode_Encoding", m_encoding != nullptr}, {"Encode_GetLeftTime", m_leftTime != nullptr},
            {"Encode_End", m_end != nullptr},          {"Encode_GetFrame", m_getFrame != nullptr},
        };
        for (const auto &[name, found] : required) {
            if (!found) {
                m_loadError = "The encoder library \"" + file + "\" has no entry point \"" + name + "\".";
                break;
            }
        }
    }
    if (!m_loadError.empty() && m_report)
        m_report(m_loadError);
    return m_loadError.empty();
}

std::int32_t DllEncoder::begin(const std::string &scriptPath, const std::string &outputPath,
                               std::int32_t videoBitrate, std::int32_t audioBitrate, std::int32_t sampleRate,
                               std::int32_t videoPass, std::int32_t mode)
{
    if (!ready())
        return -1;
    return m_begin(scriptPath.c_str(), outputPath.c_str(), videoBitrate, audioBitrate, sampleRate, videoPass, mode);
}

std::int32_t DllEncoder::frame()
{
    return ready() ? m_frame() : 0;
}

std::int32_t DllEncoder::encoding()
{
    return ready() ? m_encoding() : 100;
}

std::int32_t DllEncoder::leftTime()
{
    return ready() ? m_leftTime() : 0;
}

std::int32_t DllEncoder::end()
{
    // Never bound means no pass was ever opened: nothing to end, and no
    // reason to load the library (exit calls this unconditionally).
    if (!m_tried)
        return 0;
    return ready() ? m_end() : -1;
}

std::int32_t DllEncoder::getFrame(const std::string &scriptPath)
{
    return ready() ? m_getFrame(scriptPath.c_str()) : 0;
}

std::string DllEncoder::lastError()
{
    if (!ready())
        return m_loadError;
    if (m_lastError == nullptr)
        return {};
    const char *text = m_lastError();
    return text != nullptr ? std::string(text) : std::string();
}

std::string DllEncoder::previewReady()
{
    if (m_previewTried)
        return m_previewLoadError;
    m_previewTried = true;
    const std::string file = QDir::toNativeSeparators(m_previewLibrary.fileName()).toStdString();
    if (!m_previewLibrary.load())
        return m_previewLoadError = "The encoder library \"" + file + "\" cannot be loaded: "
                                    + m_previewLibrary.errorString().toStdString();
    m_previewFrames = resolveAs<GetFrameFn>(m_previewLibrary, "Encode_PreviewFrames");
    m_preview = resolveAs<PreviewFn>(m_previewLibrary, "Encode_Preview");
    m_previewLastError = resolveAs<LastErrorFn>(m_previewLibrary, "Encode_GetLastError");
    if (!m_previewFrames || !m_preview || !m_previewLastError)
        m_previewLoadError = "The encoder library \"" + file + "\" cannot show previews.";
    return m_previewLoadError;
}

std::int32_t DllEncoder::previewFrames(const std::string &scriptPath, std::string &error)
{
    std::lock_guard lock(m_previewMutex);
    if (error = previewReady(); !error.empty())
        return -1;
    const std::int32_t frames = m_previewFrames(scriptPath.c_str());
    if (frames < 0)
        error = m_previewLastError();
    return frames;
}

std::int32_t DllEncoder::preview(const std::string &scriptPath, std::int32_t index, std::vector<std::uint8_t> &rgb,
                                 std::int32_t &width, std::int32_t &height, std::string &error)
{
    std::lock_guard lock(m_previewMutex);
    if (error = previewReady(); !error.empty())
        return -1;
    // A 256-wide picture fits at once unless it is taller than 1024; then
    // the library tells the size and the second call fits.
    rgb.resize(std::max<std::size_t>(rgb.size(), 256 * 1024 * 3));
    for (int attempt = 0; attempt < 2; ++attempt) {
        width = height = 0;
        const std::int32_t result = m_preview(scriptPath.c_str(), index, rgb.data(),
                                              static_cast<std::int32_t>(rgb.size()), &width, &height);
        const auto needed = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
        if (result == 0) {
            rgb.resize(needed);
            return 0;
        }
        if (needed <= rgb.size())
            break;
        rgb.resize(needed);
    }
    error = m_previewLastError();
    return -1;
}

} // namespace ui
