#pragma once

#include <QString>
#include <QStringList>

namespace ui {

class Form1;
class Prompter;

// What the window does right after it is shown: [notes] (folders or a
// settings file it cannot use) each in a box, then the files it was started
// with (from a terminal, or the desktop's "Open With"). A name that is
// missing or a folder is refused in one box that says why; the others go
// through the add as if chosen with Add, with its probe, refusals and limit
// (or, while a restored list converts, are named as not added).
// Nothing given: nothing happens.
void openStartFiles(Form1 &window, Prompter &prompter, const QStringList &notes, const QStringList &arguments);

// Why [argument] cannot be added before it is probed: empty when it is a file.
QString startFileProblem(const QString &argument);

} // namespace ui
