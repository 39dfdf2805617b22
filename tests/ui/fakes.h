#pragma once

#include "convert/encoder.h"
#include "ui/prompter.h"

#include <QStringList>

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace test {

// An encoder whose probe reports a length looked up by the probed script's
// content: the script names its input, so a file whose path contains a key of
// [lengths] gets that length; anything else 0.
class FakeEncoder final : public core::Encoder
{
public:
    std::map<std::string, std::int32_t> lengths; // file name -> length
    std::int32_t defaultLength = 0;
    std::vector<std::string> probedScripts;      // script texts seen by getFrame

    std::int32_t begin(const std::string &, const std::string &, std::int32_t, std::int32_t, std::int32_t,
                       std::int32_t, std::int32_t) override
    {
        return 0;
    }
    std::int32_t frame() override { return 0; }
    std::int32_t encoding() override { return 100; }
    std::int32_t leftTime() override { return 0; }
    std::int32_t end() override { return 0; }
    std::int32_t getFrame(const std::string &scriptPath) override;
    std::string lastError() override { return {}; }
};

struct Message
{
    QString text;
    QString title;
    ui::MessageIcon icon;
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
