#include "ui/qt_prompter.h"

#include "ui/folder_chooser.h"
#include "ui/power_off_countdown.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace ui {

namespace {

QMessageBox::Icon boxIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Exclamation:
        return QMessageBox::Warning;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// The file must exist (the open mode insists on it); the dialog never changes
// the process's current folder.
void setUp(QFileDialog &dialog, const FileRequest &request, QFileDialog::FileMode mode)
{
    dialog.setWindowTitle(request.title);
    dialog.setFileMode(mode);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilter(request.filter);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.startFolder.isEmpty())
        dialog.setDirectory(request.startFolder);
}

} // namespace

// A dialog opened from inside another modal dialog (the folder chooser's input
// box and messages) belongs to that dialog, so it opens over it.
QWidget *QtPrompter::dialogParent() const
{
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    return m_parent;
}

QtPrompter::QtPrompter(QWidget *parent)
    : m_parent(parent)
{
}

void QtPrompter::message(const QString &text, const QString &title, MessageIcon icon)
{
    QMessageBox box(boxIcon(icon), title, text, QMessageBox::Ok, dialogParent());
    box.exec();
}

void QtPrompter::messageWithDetail(const QString &text, const QString &title, const QString &detail)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, dialogParent());
    if (!detail.isEmpty())
        box.setDetailedText(detail);
    box.exec();
}

bool QtPrompter::ask(const QString &text, const QString &title, const QString &accept, const QString &reject)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::NoButton, dialogParent());
    QPushButton *yes = box.addButton(accept, QMessageBox::AcceptRole);
    box.setEscapeButton(box.addButton(reject, QMessageBox::RejectRole));
    box.setDefaultButton(yes);
    box.exec();
    return box.clickedButton() == yes;
}

int QtPrompter::askThree(const QString &text, const QString &title, const QString &first, const QString &second,
                         const QString &third)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, dialogParent());
    // One role for all three: the style orders buttons by role, and these
    // are to stand in the order given.
    QPushButton *buttons[] = {box.addButton(first, QMessageBox::AcceptRole),
                              box.addButton(second, QMessageBox::AcceptRole),
                              box.addButton(third, QMessageBox::AcceptRole)};
    box.setDefaultButton(buttons[0]);
    box.setEscapeButton(buttons[1]);
    box.exec();
    for (int i = 0; i < 3; ++i)
        if (box.clickedButton() == buttons[i])
            return i;
    return 1;
}

bool QtPrompter::powerOffCountdown(int seconds)
{
    PowerOffCountdown countdown(seconds, dialogParent());
    return countdown.exec() == QDialog::Accepted;
}

QString QtPrompter::openFileName(const FileRequest &request)
{
    QFileDialog dialog(dialogParent());
    setUp(dialog, request, QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QStringList QtPrompter::openFileNames(const FileRequest &request)
{
    QFileDialog dialog(dialogParent());
    setUp(dialog, request, QFileDialog::ExistingFiles);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

std::optional<QFont> QtPrompter::chooseFont(const QFont &initial)
{
    bool ok = false;
    // Screen fonts only: the logo is drawn on video, never printed.
    const QFont chosen = QFontDialog::getFont(&ok, initial, dialogParent(), QString(), QFontDialog::ScalableFonts
                                                  | QFontDialog::NonScalableFonts);
    if (!ok)
        return std::nullopt;
    return chosen;
}

std::optional<QColor> QtPrompter::chooseColor(const QColor &initial)
{
    const QColor chosen = QColorDialog::getColor(initial, dialogParent());
    if (!chosen.isValid())
        return std::nullopt;
    return chosen;
}

bool QtPrompter::chooseOutputFolder(QString &chosenFolder)
{
    FolderChooser chooser(*this, chosenFolder, dialogParent());
    if (chooser.exec() != QDialog::Accepted)
        return false;
    chosenFolder = chooser.chosenFolder();
    return true;
}

QString QtPrompter::inputText(const QString &title, const QString &prompt)
{
    bool ok = false;
    const QString text = QInputDialog::getText(dialogParent(), title, prompt, QLineEdit::Normal, QString(), &ok);
    return ok ? text : QString();
}

} // namespace ui
