#pragma once

#include "ui/qt_text.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>

#include <optional>
#include <string_view>

namespace ui {

// The icon of a message box: none (a plain box with OK), the exclamation mark,
// or the error (stop) sign.
enum class MessageIcon { None, Exclamation, Error };

// One use of the file-open dialog.
struct FileRequest
{
    QString filter;        // Qt filter syntax: "Video (*.avi *.mpg);;All Files (*)"
    QString startFolder;   // empty: the platform's default folder
    QString title;
    QString defaultSuffix; // without the dot
};

// Every modal dialog the main window opens goes through this seam, so that
// tests can answer the dialogs and check what they were asked. All calls come
// from the window's thread and return when the dialog has closed.
class Prompter
{
public:
    virtual ~Prompter() = default;

    // A message box with a single OK button.
    virtual void message(const QString &text, const QString &title, MessageIcon icon) = 0;
    // A plain box (no icon) with a single OK button and [detail] as the box's
    // detail text; an empty [detail] gives no detail part.
    virtual void messageWithDetail(const QString &text, const QString &title, const QString &detail) = 0;

    // A question with two buttons, [accept] and [reject] (also Escape);
    // true when [accept] was chosen.
    virtual bool ask(const QString &text, const QString &title, const QString &accept, const QString &reject) = 0;
    // A question with three buttons, [first] the default (Enter); the chosen
    // button's index, 0 for [first]. Escape and closing the box choose
    // [second], which is to be the choice that changes nothing.
    virtual int askThree(const QString &text, const QString &title, const QString &first, const QString &second,
                         const QString &third) = 0;
    // The countdown before the power-off: "The computer will power off in N s"
    // from [seconds] down, with "Power off now" and "Cancel". True when the
    // count ran out or "Power off now" was chosen, false when cancelled.
    virtual bool powerOffCountdown(int seconds) = 0;

    // The chosen existing file's full path; empty when cancelled.
    virtual QString openFileName(const FileRequest &request) = 0;
    // The chosen existing files' full paths, in the dialog's order; empty when
    // cancelled.
    virtual QStringList openFileNames(const FileRequest &request) = 0;

    // Font and colour dialogs preset with [initial]; empty when cancelled.
    virtual std::optional<QFont> chooseFont(const QFont &initial) = 0;
    virtual std::optional<QColor> chooseColor(const QColor &initial) = 0;

    // The output folder chooser. It starts from [chosenFolder] and, when the
    // user confirms, leaves the chosen folder in it and returns true; on cancel
    // [chosenFolder] is left as it was.
    virtual bool chooseOutputFolder(QString &chosenFolder) = 0;

    // An input box; the typed text, or empty when cancelled.
    virtual QString inputText(const QString &title, const QString &prompt) = 0;
};

// A box with the error sign: [text] under [title].
inline void showError(Prompter &prompter, std::string_view text, std::string_view title)
{
    prompter.message(qs(text), qs(title), MessageIcon::Error);
}

} // namespace ui
