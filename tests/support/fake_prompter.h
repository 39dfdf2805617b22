#pragma once

// Answers every dialog of the window from queues the test fills, and
// records what was asked. An empty queue answers "cancelled".

#include "ui/prompter.h"

#include <deque>
#include <optional>
#include <vector>

namespace support {

struct Message
{
    QString text;
    QString title;
    ui::MessageIcon icon;
    QString detail = {};
};

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
    std::deque<QString> folderAnswers; // a null QString: cancelled
    std::vector<QString> folderStarts;
    std::deque<QString> inputAnswers;
    std::vector<std::pair<QString, QString>> inputRequests; // title, prompt
    std::vector<Message> questions;    // ask(): text and title
    std::deque<bool> askAnswers;       // empty: the reject button
    std::vector<QStringList> threeButtons; // askThree(): the buttons, with the text in questions
    std::deque<int> threeAnswers;      // empty: the second button, as Escape

    void message(const QString &text, const QString &title, ui::MessageIcon icon) override { messages.push_back({text, title, icon}); }
    void messageWithDetail(const QString &text, const QString &title, const QString &detail) override
    {
        messages.push_back({text, title, ui::MessageIcon::None, detail});
    }
    bool ask(const QString &text, const QString &title, const QString &, const QString &) override
    {
        return questions.push_back({text, title, ui::MessageIcon::Exclamation}), next(askAnswers).value_or(false);
    }
    int askThree(const QString &text, const QString &title, const QString &first, const QString &second,
                 const QString &third) override
    {
        questions.push_back({text, title, ui::MessageIcon::None});
        threeButtons.push_back({first, second, third});
        return next(threeAnswers).value_or(1);
    }
    bool powerOffCountdown(int) override { return false; } // cancelled: the real dialog is tested itself
    QString openFileName(const ui::FileRequest &request) override
    {
        return fileRequests.push_back(request), next(fileAnswers).value_or(QString());
    }
    QStringList openFileNames(const ui::FileRequest &request) override
    {
        return fileRequests.push_back(request), next(filesAnswers).value_or(QStringList());
    }
    std::optional<QFont> chooseFont(const QFont &initial) override
    {
        return fontPresets.push_back(initial), next(fontAnswers).value_or(std::nullopt);
    }
    std::optional<QColor> chooseColor(const QColor &initial) override
    {
        return colourPresets.push_back(initial), next(colourAnswers).value_or(std::nullopt);
    }
    bool chooseOutputFolder(QString &chosenFolder) override
    {
        folderStarts.push_back(chosenFolder);
        const QString answer = next(folderAnswers).value_or(QString());
        if (!answer.isNull())
            chosenFolder = answer;
        return !answer.isNull();
    }
    QString inputText(const QString &title, const QString &prompt) override
    {
        return inputRequests.emplace_back(title, prompt), next(inputAnswers).value_or(QString());
    }

    // "text / detail" per box, as the user saw them.
    std::vector<std::string> boxes() const
    {
        std::vector<std::string> shown;
        for (const Message &m : messages)
            shown.push_back(m.text.toStdString() + (m.detail.isEmpty() ? "" : " / " + m.detail.toStdString()));
        return shown;
    }

private:
    template <typename T>
    static std::optional<T> next(std::deque<T> &queue)
    {
        if (queue.empty())
            return std::nullopt;
        T answer = queue.front();
        queue.pop_front();
        return answer;
    }
};

} // namespace support
