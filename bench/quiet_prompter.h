#pragma once

// The window's dialogs for benchmarks: every question is declined and every
// chooser cancelled, so that a timed run never waits for a person. Messages
// are left to each benchmark, which records or prints them.

#include "ui/prompter.h"

class QuietPrompter : public ui::Prompter
{
public:
    bool ask(const QString &, const QString &, const QString &, const QString &) override { return false; }
    int askThree(const QString &, const QString &, const QString &, const QString &, const QString &) override
    {
        return 1;
    }
    bool powerOffCountdown(int) override { return false; }
    QString openFileName(const ui::FileRequest &) override { return {}; }
    QStringList openFileNames(const ui::FileRequest &) override { return {}; }
    std::optional<QFont> chooseFont(const QFont &) override { return std::nullopt; }
    std::optional<QColor> chooseColor(const QColor &) override { return std::nullopt; }
    bool chooseOutputFolder(QString &) override { return false; }
    QString inputText(const QString &, const QString &) override { return {}; }
};
