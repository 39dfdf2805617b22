#include "ui/open_files.h"
#include "ui/qt_text.h"

#include "ui/form1.h"
#include "ui/prompter.h"
#include "window/window_rules.h"

#include <QFileInfo>
#include <QUrl>

namespace ui {

namespace {

// File managers may hand over URLs rather than paths.
QString localPath(const QString &argument)
{
    if (argument.startsWith(QStringLiteral("file:")))
        return QUrl(argument).toLocalFile();
    return argument;
}

} // namespace

QString startFileProblem(const QString &argument)
{
    const QFileInfo info(localPath(argument));
    if (info.isDir())
        return QStringLiteral("a folder, not a video file");
    if (!info.exists())
        return QStringLiteral("no such file");
    return {};
}

void openStartFiles(Form1 &window, Prompter &prompter, const QStringList &notes, const QStringList &arguments)
{
    const QString program = qs(core::kProgramName);
    for (const QString &note : notes)
        prompter.message(note, program, MessageIcon::Exclamation);

    QStringList files;
    QString refused;
    for (const QString &argument : arguments) {
        if (const QString problem = startFileProblem(argument); !problem.isEmpty())
            refused += QStringLiteral("\n\u2022 %1 \u2014 %2").arg(argument, problem);
        else
            files.append(QFileInfo(localPath(argument)).absoluteFilePath());
    }
    if (!refused.isEmpty())
        prompter.message(QStringLiteral("Cannot add:\n") + refused, qs(core::kErrorTitle),
                         MessageIcon::Error);
    // The box lets events run: the window may have been closed meanwhile,
    // or a restored list may be converting, which keeps the list closed.
    if (files.isEmpty() || window.closing())
        return;
    if (window.converting() || window.adding()) {
        QString busy;
        for (const QString &file : files)
            busy += QStringLiteral("\n\u2022 ") + file;
        prompter.message(QStringLiteral("Cannot add while the list is being converted; add these once it has ended:\n")
                             + busy,
                         qs(core::kErrorTitle), MessageIcon::Error);
        return;
    }
    window.addVideoFiles(files);
}

} // namespace ui
