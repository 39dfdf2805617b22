#include "ui/folder_chooser.h"
#include "ui/qt_text.h"

#include "window/window_rules.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QStorageInfo>

namespace ui {

namespace {

constexpr auto kUpEntry = "..";

QPushButton *makeButton(QWidget *parent, const char *name, const char *caption, const char *tip, QRect place)
{
    auto *button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(QString::fromLatin1(tip));
    button->setGeometry(place);
    return button;
}

QString rootOf(const QString &folder)
{
    const QStorageInfo storage(folder);
    return storage.isValid() ? storage.rootPath() : QStringLiteral("/");
}

} // namespace

FolderChooser::FolderChooser(Prompter &prompter, const QString &startFolder, QWidget *parent)
    : QDialog(parent)
    , m_prompter(prompter)
    , m_chosenFolder(startFolder)
{
    setObjectName(QStringLiteral("frmDir"));
    setWindowTitle(qs(core::kChooserCaption));
    setFixedSize(360, 260);

    m_drive = new QComboBox(this);
    m_drive->setObjectName(QStringLiteral("Drive1"));
    m_drive->setToolTip(QStringLiteral("Select drive"));
    m_drive->setGeometry(8, 8, 240, 22);
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady() && m_drive->findText(volume.rootPath()) < 0)
            m_drive->addItem(volume.rootPath());
    }

    m_path = new QLabel(this);
    m_path->setObjectName(QStringLiteral("LabelDir"));
    m_path->setGeometry(8, 36, 240, 18);
    m_path->setTextFormat(Qt::PlainText);

    m_dir = new QListWidget(this);
    m_dir->setObjectName(QStringLiteral("Dir1"));
    m_dir->setToolTip(QStringLiteral("Select folder"));
    m_dir->setGeometry(8, 56, 240, 196);

    auto *ok = makeButton(this, "Command1", "OK", "Select current folder as output location", QRect(260, 8, 92, 26));
    auto *cancel = makeButton(this, "Command2", "Cancel", "Close and do not change output location",
                              QRect(260, 40, 92, 26));
    auto *create = makeButton(this, "Command3", "New...", "Create a new folder under current location",
                              QRect(260, 88, 92, 26));
    ok->setDefault(true);

    connect(ok, &QPushButton::clicked, this, &FolderChooser::confirm);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(create, &QPushButton::clicked, this, &FolderChooser::newFolder);
    connect(m_drive, &QComboBox::activated, this, &FolderChooser::driveChosen);
    connect(m_dir, &QListWidget::itemActivated, this, &FolderChooser::enterItem);

    centreOnScreen();

    if (showFolder(startFolder)) {
        setDrive(rootOf(m_currentFolder));
        m_lastGoodFolder = m_currentFolder;
        m_lastGoodDrive = currentDrive();
    } else {
        // The root file system stands in for drive C.
        m_prompter.message(qs(core::kCannotLoadDriveText), qs(core::kOpenErrorTitle),
                           MessageIcon::Error);
        setDrive(QStringLiteral("/"));
        showFolder(QStringLiteral("/"));
    }
}

QString FolderChooser::currentDrive() const
{
    return m_drive->currentText();
}

bool FolderChooser::showFolder(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    const QFileInfo info(folder);
    if (!info.isDir() || !info.isReadable())
        return false;
    const QDir dir(info.absoluteFilePath());
    m_currentFolder = QDir::cleanPath(dir.absolutePath());

    m_dir->clear();
    if (!dir.isRoot())
        m_dir->addItem(QString::fromLatin1(kUpEntry));
    m_dir->addItems(dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name | QDir::IgnoreCase));
    m_path->setText(m_currentFolder);
    m_path->setToolTip(m_currentFolder);
    return true;
}

void FolderChooser::confirm()
{
    m_chosenFolder = m_currentFolder;
    accept();
}

void FolderChooser::newFolder()
{
    const QString prompt = qs(core::newFolderPrompt(m_currentFolder.toStdString()));
    const QString name = m_prompter.inputText(qs(core::kCreateFolderTitle), prompt);
    if (name.isEmpty())
        return;
    const QString path =
        qs(core::childFolderPath(m_currentFolder.toStdString(), name.toStdString()));
    // A name with a "/" would create somewhere else than under the shown folder.
    const bool created = core::isPlainFolderName(name.toStdString()) && QDir().mkdir(path);
    if (!created || !showFolder(path)) {
        m_prompter.message(qs(core::kCannotCreateFolderText),
                           qs(core::kCreateFolderErrorTitle), MessageIcon::Error);
    }
}

void FolderChooser::driveChosen(int index)
{
    const QString drive = m_drive->itemText(index);
    if (showFolder(drive)) {
        m_lastGoodFolder = m_currentFolder;
        m_lastGoodDrive = drive;
        return;
    }
    m_prompter.message(qs(core::kCannotLoadDriveText), qs(core::kOpenErrorTitle),
                       MessageIcon::Error);
    // After a failed start there is no last good folder; the root stands in.
    const QString folder = m_lastGoodFolder.isEmpty() ? QStringLiteral("/") : m_lastGoodFolder;
    showFolder(folder);
    setDrive(m_lastGoodDrive.isEmpty() ? rootOf(folder) : m_lastGoodDrive);
}

void FolderChooser::enterItem(QListWidgetItem *item)
{
    if (item == nullptr)
        return;
    const QDir dir(m_currentFolder);
    const QString target = item->text() == QLatin1String(kUpEntry) ? QFileInfo(m_currentFolder).path()
                                                                    : dir.filePath(item->text());
    if (showFolder(target))
        setDrive(rootOf(m_currentFolder));
}

void FolderChooser::setDrive(const QString &root)
{
    int index = m_drive->findText(root);
    if (index < 0) {
        m_drive->addItem(root);
        index = m_drive->count() - 1;
    }
    m_drive->setCurrentIndex(index);
}

void FolderChooser::centreOnScreen()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect area = screen->geometry();
    move((area.width() - width()) / 2, (area.height() - height()) / 2);
}

} // namespace ui
