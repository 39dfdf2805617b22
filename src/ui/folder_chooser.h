#pragma once

#include "ui/prompter.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace ui {

// frmDir, the modal output folder chooser. Drive1 lists the mounted file
// systems, Dir1 the folders of the folder shown (with ".." to go up). The
// chooser opens on [startFolder]; OK leaves the shown folder in
// chosenFolder(), Cancel leaves chosenFolder() as [startFolder]. Its messages
// and the "Create Folder" input box go through [prompter].
class FolderChooser final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FolderChooser)

public:
    FolderChooser(Prompter &prompter, const QString &startFolder, QWidget *parent = nullptr);

    QString chosenFolder() const { return m_chosenFolder; }
    // Dir1's path: the folder shown.
    QString currentFolder() const { return m_currentFolder; }
    // Drive1's value: the root of the file system shown.
    QString currentDrive() const;

    // Shows [folder] in Dir1; false (nothing changes) when it is not a
    // readable folder.
    bool showFolder(const QString &folder);

    // The buttons' handlers, also reachable by clicking Command1..Command3.
    void confirm();   // OK
    void newFolder(); // New...

private:
    void driveChosen(int index);
    void enterItem(QListWidgetItem *item);
    // Selects [root] in Drive1 without running the drive change, adding the
    // entry when the list lacks it.
    void setDrive(const QString &root);
    void centreOnScreen();

    Prompter &m_prompter;
    QString m_chosenFolder;
    QString m_currentFolder;
    // Where a failed drive change returns to.
    QString m_lastGoodFolder;
    QString m_lastGoodDrive;

    QComboBox *m_drive = nullptr;
    QLabel *m_path = nullptr;
    QListWidget *m_dir = nullptr;
};

} // namespace ui
