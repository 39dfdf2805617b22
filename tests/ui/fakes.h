#pragma once

#include "convert/encoder.h"
#include "convert/power_off.h"
#include "ui/prompter.h"

#include <QStringList>

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace test {

// An encoder whose probe reports a length looked up by the probed script's
// content: the script names its input, so a file whose path contains a key of
// [lengths] gets that length; anything else 0.
//
// Its passes are scripted: begin() answers from [beginResults] (0 when
// empty) and, when it succeeds, writes a few bytes to the pass's output as
// the library would; encoding() answers [progress](pass, poll) and then calls
// [onPoll] with the same numbers, so a test can act in the middle of a pass.
// Every call is logged by name.
class FakeEncoder final : public core::Encoder
{
public:
    struct Begin
    {
        std::string scriptPath;
        std::string outputPath;
        std::int32_t videoBitrate, audioBitrate, sampleRate, videoPass, mode;
    };

    std::map<std::string, std::int32_t> lengths; // file name -> length
    std::int32_t defaultLength = 0;
    std::vector<std::string> probedScripts;      // script texts seen by getFrame

    std::deque<std::int32_t> beginResults;
    // pass: 0-based count of begin() calls; poll: 0-based within the pass.
    std::function<std::int32_t(int pass, int poll)> progress = [](int, int) { return 100; };
    std::function<void(int pass, int poll)> onPoll;
    std::int32_t frames = 50;
    std::int32_t secondsLeft = 0;
    std::string error;

    std::vector<Begin> begins;
    std::vector<std::string> calls; // "begin", "frame", "encoding", "leftTime", "end", "getFrame"

    std::int32_t begin(const std::string &scriptPath, const std::string &outputPath, std::int32_t videoBitrate,
                       std::int32_t audioBitrate, std::int32_t sampleRate, std::int32_t videoPass,
                       std::int32_t mode) override;
    std::int32_t frame() override;
    std::int32_t encoding() override;
    std::int32_t leftTime() override;
    std::int32_t end() override;
    std::int32_t getFrame(const std::string &scriptPath) override;
    std::string lastError() override { return error; }

private:
    int m_poll = 0;
};

// The power-off, counting the requests and answering [result].
class FakePowerOff final : public core::PowerOff
{
public:
    Result result{.accepted = true, .reason = {}};
    int requests = 0;

    Result request() override
    {
        ++requests;
        return result;
    }
};

struct Message
{
    QString text;
    QString title;
    ui::MessageIcon icon;
    QString detail = {};
};

// Answers every dialog from queues filled by the test and records what was
// asked. An empty queue answers "cancelled".
class FakePrompter final : public ui::Prompter
{
public:
    std::vector<Message> messages;
    std::vector<ui::FileRequest> fileRequests;
    std::deque<QString> fileAnswers;
    std::deque<QStringList> filesAnswers;
    std::deque<std::optional<QFont>> fontAnswers;
    std::deque<std::optional<QColor>> colourAnswers;
    std::vector<QFont> fontPresets;
    std::vector<QColor> colourPresets;
    std::deque<std::optional<QString>> folderAnswers; // empty optional: cancelled
    std::vector<QString> folderStarts;
    std::deque<QString> inputAnswers;
    std::vector<std::pair<QString, QString>> inputRequests; // title, prompt

    void message(const QString &text, const QString &title, ui::MessageIcon icon) override
    {
        messages.push_back({text, title, icon});
    }
    void messageWithDetail(const QString &text, const QString &title, const QString &detail) override
    {
        messages.push_back({text, title, ui::MessageIcon::None, detail});
    }
    QString openFileName(const ui::FileRequest &request) override;
    QStringList openFileNames(const ui::FileRequest &request) override;
    std::optional<QFont> chooseFont(const QFont &initial) override;
    std::optional<QColor> chooseColor(const QColor &initial) override;
    bool chooseOutputFolder(QString &chosenFolder) override;
    QString inputText(const QString &title, const QString &prompt) override;
};

// A temporary program folder, removed at the end of the test.
class TempFolder
{
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    const QString &path() const { return m_path; }
    // Creates an (empty) file [name] in the folder and returns its full path.
    QString touch(const QString &name) const;

private:
    QString m_path;
};

} // namespace test
