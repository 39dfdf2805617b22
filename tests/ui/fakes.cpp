#include "fakes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

#include <fstream>
#include <sstream>

namespace test {

std::int32_t FakeEncoder::begin(const std::string &scriptPath, const std::string &outputPath,
                                std::int32_t videoBitrate, std::int32_t audioBitrate, std::int32_t sampleRate,
                                std::int32_t videoPass, std::int32_t mode)
{
    calls.emplace_back("begin");
    begins.push_back({scriptPath, outputPath, videoBitrate, audioBitrate, sampleRate, videoPass, mode});
    m_poll = 0;
    std::int32_t result = 0;
    if (!beginResults.empty()) {
        result = beginResults.front();
        beginResults.pop_front();
    }
    if (result != -1)
        std::ofstream(outputPath, std::ios::binary) << (videoPass != 0 ? "video stream" : "audio stream");
    return result;
}

std::int32_t FakeEncoder::frame()
{
    calls.emplace_back("frame");
    return frames;
}

std::int32_t FakeEncoder::encoding()
{
    calls.emplace_back("encoding");
    const int pass = static_cast<int>(begins.size()) - 1;
    const int poll = m_poll++;
    const std::int32_t percent = progress(pass, poll);
    if (onPoll)
        onPoll(pass, poll);
    return percent;
}

std::int32_t FakeEncoder::leftTime()
{
    calls.emplace_back("leftTime");
    return secondsLeft;
}

std::int32_t FakeEncoder::end()
{
    calls.emplace_back("end");
    return 0;
}

std::int32_t FakeEncoder::getFrame(const std::string &scriptPath)
{
    calls.emplace_back("getFrame");
    std::ifstream in(scriptPath, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    probedScripts.push_back(text.str());
    for (const auto &[name, length] : lengths) {
        if (text.str().find(name) != std::string::npos)
            return length;
    }
    return defaultLength;
}

QString FakePrompter::openFileName(const ui::FileRequest &request)
{
    fileRequests.push_back(request);
    if (fileAnswers.empty())
        return {};
    QString answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

QStringList FakePrompter::openFileNames(const ui::FileRequest &request)
{
    fileRequests.push_back(request);
    if (filesAnswers.empty())
        return {};
    QStringList answer = filesAnswers.front();
    filesAnswers.pop_front();
    return answer;
}

std::optional<QFont> FakePrompter::chooseFont(const QFont &initial)
{
    fontPresets.push_back(initial);
    if (fontAnswers.empty())
        return std::nullopt;
    auto answer = fontAnswers.front();
    fontAnswers.pop_front();
    return answer;
}

std::optional<QColor> FakePrompter::chooseColor(const QColor &initial)
{
    colourPresets.push_back(initial);
    if (colourAnswers.empty())
        return std::nullopt;
    auto answer = colourAnswers.front();
    colourAnswers.pop_front();
    return answer;
}

bool FakePrompter::chooseOutputFolder(QString &chosenFolder)
{
    folderStarts.push_back(chosenFolder);
    if (folderAnswers.empty())
        return false;
    const auto answer = folderAnswers.front();
    folderAnswers.pop_front();
    if (!answer)
        return false;
    chosenFolder = *answer;
    return true;
}

QString FakePrompter::inputText(const QString &title, const QString &prompt)
{
    inputRequests.emplace_back(title, prompt);
    if (inputAnswers.empty())
        return {};
    QString answer = inputAnswers.front();
    inputAnswers.pop_front();
    return answer;
}

TempFolder::TempFolder()
{
    m_path = QDir::temp().filePath(QStringLiteral("velmora-ui-") + QUuid::createUuid().toString(QUuid::Id128));
    QDir().mkpath(m_path);
}

TempFolder::~TempFolder()
{
    QDir(m_path).removeRecursively();
}

QString TempFolder::touch(const QString &name) const
{
    const QString file = QDir(m_path).filePath(name);
    QFile out(file);
    out.open(QIODevice::WriteOnly);
    return file;
}

} // namespace test
