#include "ui/file_pickers.h"
#include "ui/qt_text.h"

#include "jobs/job_list.h"
#include "ui/prompter.h"
#include "window/window_rules.h"

#include <QAbstractButton>
#include <QDir>
#include <QLineEdit>

#include <exception>

namespace ui {

FilePickers::FilePickers(const Widgets &widgets, Prompter &prompter)
    : m_widgets(widgets)
    , m_prompter(prompter)
{
    const auto picker = [this](QAbstractButton *button, const char *filter, const char *suffix, QString &folder,
                               QLineEdit *box) {
        connect(button, &QAbstractButton::clicked, this,
                [this, filter, suffix, &folder, box] { pickFile(filter, suffix, folder, box); });
    };
    picker(m_widgets.openAudio, core::kAudioFilter, "wav", m_folders.audio, m_widgets.audio);
    picker(m_widgets.openSubtitle, core::kSubtitleFilter, "sub", m_folders.subtitle, m_widgets.subtitle);
    picker(m_widgets.openIntroVideo, core::kVideoFilter, "avi", m_folders.introVideo, m_widgets.introVideo);
    picker(m_widgets.openIntroImage, core::kImageFilter, "jpg", m_folders.introImage, m_widgets.introImage);
    connect(m_widgets.browseOutput, &QAbstractButton::clicked, this, [this] { browseOutput(); });
}

QStringList FilePickers::chooseVideos()
{
    return m_prompter.openFileNames(
        {qs(core::qtFileFilter(core::kVideoFilter)), m_folders.video, qs(core::kOpenFileTitle), QStringLiteral("avi")});
}

void FilePickers::pickFile(const char *filter, const char *suffix, QString &folder, QLineEdit *box)
{
    try {
        const FileRequest request{qs(core::qtFileFilter(filter)), folder, qs(core::kOpenFileTitle), qs(suffix)};
        const QString path = m_prompter.openFileName(request);
        if (path.isEmpty())
            return;
        const std::string chosen = QDir::fromNativeSeparators(path).toStdString();
        folder = qs(core::fileFolder(chosen));
        box->setText(qs(chosen));
    } catch (const std::exception &) {
        showError(m_prompter, core::kNotSupportedText, core::kErrorTitle);
    }
}

void FilePickers::browseOutput()
{
    m_chosenFolder = m_widgets.output->text();
    m_prompter.chooseOutputFolder(m_chosenFolder);
    m_chosenFolder = qs(core::withTrailingSlash(m_chosenFolder.toStdString()));
    m_widgets.output->setText(m_chosenFolder);
}

} // namespace ui
