// The add: the files chosen with Add, dropped on the list or given at
// start-up are probed one after another, off the window's thread, and the
// good ones appended as their answers come; Remove takes the selected ones.

#include "ui/form1.h"
#include "ui/qt_text.h"

#include "convert/offload.h"
#include "convert/preflight.h"
#include "ui/input_list_panel.h"
#include "ui/time_window.h"
#include "window/window_rules.h"

#include <QDir>

namespace ui {

void Form1::openVideoFiles()
{
    if (adding())
        return;
    const QStringList paths = m_pickers->chooseVideos();
    if (!paths.isEmpty())
        addVideoFiles(paths);
}

void Form1::addVideoFiles(const QStringList &paths)
{
    // One add at a time. A running conversion owns the script file that the
    // probe would overwrite.
    if (adding() || m_converting || m_closingFlag || paths.isEmpty() || helperMissing())
        return;
    std::vector<std::string> files;
    for (const QString &path : paths)
        files.push_back(QDir::fromNativeSeparators(path).toStdString());
    m_add.emplace(std::move(files));
    // Every file is probed as the panel stood when the add began.
    m_addRequest = scriptRequest(0, {});
    m_list->setAddEnabled(false);
    probeNextFile();
}

void Form1::probeNextFile()
{
    if (m_add->done()) {
        m_pickers->folders().video = qs(m_add->folder());
        m_add.reset();
        m_list->setAddEnabled(!m_converting);
        return;
    }
    core::ScriptRequest request = m_addRequest;
    request.videoPath = m_add->next();
    // The probe opens the file in a helper, which may take a while for a
    // file whose container states no length: off the window's thread.
    m_addWork->run<core::FileProbe>(
        [request, &prober = *m_addProber] { return core::probeFile(request, prober); },
        [this](core::FileProbe probe) { fileProbed(probe.length, probe.warning, probe.reason); });
}

void Form1::fileProbed(std::int32_t length, const std::string &warning, const std::string &reason)
{
    if (!m_add || m_closingFlag)
        return;
    if (!warning.empty())
        m_prompter.message(qs(warning), qs(core::kProgramName), MessageIcon::Exclamation);
    // The box lets events run: the window may be closing now.
    if (!m_add || m_closingFlag)
        return;
    const std::string path = m_add->next();
    m_time->setFrameCount(length);
    const std::string message = m_add->probed(length, reason);
    if (length != 0)
        appendJob(core::fileTitle(path), path);
    else if (!message.empty())
        showError(message, core::kErrorTitle);
    if (m_add && !m_closingFlag)
        probeNextFile();
}

void Form1::appendJob(const std::string &title, const std::string &path)
{
    core::JobSettings record = shownSettings();
    record.totalTime = m_time->frameCount();
    if (!m_list->append(title, path, record)) {
        showError(core::JobList::kListFullText, core::JobList::kListFullTitle);
        return;
    }
    m_list->selectJob(m_jobs.count() - 1);
    // The new entry ends at its full length; its start stays as inherited.
    m_time->endAtFullLength();
    listChanged();
}

void Form1::removeSelectedJob()
{
    if (!m_converting && m_list->removeSelected())
        listChanged();
}

} // namespace ui
