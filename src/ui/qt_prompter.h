#pragma once

#include "ui/prompter.h"

#include <QPointer>
#include <QWidget>

namespace ui {

// The real dialogs: QMessageBox, QFileDialog, QFontDialog, QColorDialog,
// QInputDialog and the output folder chooser.
class QtPrompter final : public Prompter
{
public:
    // [parent] is the window the dialogs belong to; it may be set later, once
    // the main window exists.
    explicit QtPrompter(QWidget *parent = nullptr);
    void setParent(QWidget *parent) { m_parent = parent; }

    void message(const QString &text, const QString &title, MessageIcon icon) override;
    void messageWithDetail(const QString &text, const QString &title, const QString &detail) override;
    bool ask(const QString &text, const QString &title, const QString &accept, const QString &reject) override;
    int askThree(const QString &text, const QString &title, const QString &first, const QString &second,
                 const QString &third) override;
    bool powerOffCountdown(int seconds) override;
    QString openFileName(const FileRequest &request) override;
    QStringList openFileNames(const FileRequest &request) override;
    std::optional<QFont> chooseFont(const QFont &initial) override;
    std::optional<QColor> chooseColor(const QColor &initial) override;
    bool chooseOutputFolder(QString &chosenFolder) override;
    QString inputText(const QString &title, const QString &prompt) override;

private:
    QWidget *dialogParent() const;

    QPointer<QWidget> m_parent;
};

} // namespace ui
