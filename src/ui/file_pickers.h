#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QAbstractButton;
class QLineEdit;

namespace ui {

class Prompter;

// The folders the file pickers start in, each ending in "/" once used.
struct PickerFolders
{
    QString video;      // videoOpenDir: input videos
    QString audio;      // audioOpenDir
    QString subtitle;   // subOpenDir
    QString introVideo; // videoIntOpenDir
    QString introImage; // imageIntOpenDir
};

// The window's file pickers: the extern audio, subtitle and introduction
// files ("Add..." beside each box), the output folder (Browse...) and the
// input videos' dialog. Each picker opens in the folder it last took a file
// from and leaves the chosen path in its box; a cancelled dialog changes
// nothing.
//
// The widgets belong to the window and are borrowed; window's thread only.
class FilePickers final : public QObject
{
    Q_DISABLE_COPY_MOVE(FilePickers)

public:
    struct Widgets
    {
        QLineEdit *audio = nullptr;      // AudioFileText, picked by cmdOpenAudio
        QLineEdit *subtitle = nullptr;   // SubFileText, cmdOpenSub
        QLineEdit *introVideo = nullptr; // TextIntVideo, cmdOpenIntVideo
        QLineEdit *introImage = nullptr; // TextIntImage, cmdOpenIntImage
        QLineEdit *output = nullptr;     // OutputText, cmdSaveOutput
        QAbstractButton *openAudio = nullptr;
        QAbstractButton *openSubtitle = nullptr;
        QAbstractButton *openIntroVideo = nullptr;
        QAbstractButton *openIntroImage = nullptr;
        QAbstractButton *browseOutput = nullptr;
    };

    FilePickers(const Widgets &widgets, Prompter &prompter);

    PickerFolders &folders() { return m_folders; }
    const PickerFolders &folders() const { return m_folders; }

    // The input videos' dialog (Add...): the chosen files in the dialog's
    // order, empty when cancelled. The video folder is the add's to update.
    QStringList chooseVideos();

private:
    void pickFile(const char *filter, const char *suffix, QString &folder, QLineEdit *box);
    void browseOutput();

    Widgets m_widgets;
    Prompter &m_prompter;
    PickerFolders m_folders;
    QString m_chosenFolder; // shared with the output folder chooser
};

} // namespace ui
