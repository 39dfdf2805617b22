#include "ui/dll_encoder.h"

#include <QDir>

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

} // namespace ui
