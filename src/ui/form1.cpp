#include "ui/form1.h"
#include "ui/qt_text.h"

#include "convert/conversion_run.h"
#include "convert/offload.h"
#include "convert/preflight.h"
#include "jobs/time_text.h"
#include "window/window_rules.h"
#include "ui/preview_window.h"
#include "ui/qt_event_loop.h"
#include "ui/saved_list_keeper.h"
#include "ui/window_run_host.h"
#include "ui/window_settings.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QIcon>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QUrl>

#include <array>
#include <exception>
#include <filesystem>
#include <utility>
#include <vector>

// The pictures live in this static library; its resources must be registered
// by hand, from outside any namespace.
static void registerResources()
{
    Q_INIT_RESOURCE(velmora);
}

namespace ui {

namespace {

QString secondsText(std::int32_t seconds)
{
    return qs(core::FrametoS(seconds));
}

// The local files among dropped URLs.
QStringList droppedFiles(const QMimeData *mime)
{
    QStringList files;
    if (mime == nullptr || !mime->hasUrls())
        return files;
    for (const QUrl &url : mime->urls()) {
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile())
            files.append(url.toLocalFile());
    }
    return files;
}

} // namespace

Form1::Form1(core::EncoderServices &encoders, Prompter &prompter, core::PowerOff &powerOff,
             const QString &programFolder, QWidget *parent)
    : Form1(encoders, prompter, powerOff, settings::appPaths(QDir::fromNativeSeparators(programFolder).toStdString()),
            parent)
{
}

Form1::Form1(core::EncoderServices &encoders, Prompter &prompter, core::PowerOff &powerOff, settings::AppPaths paths,
             QWidget *parent)
    : QWidget(parent)
    , m_encoders(encoders)
    , m_prompter(prompter)
    , m_powerOff(powerOff)
    , m_paths(std::move(paths))
    , m_appFolder(qs(m_paths.appFolder))
    , m_scriptPath(qs(m_paths.scriptPath))
    , m_m1vPath(qs(m_paths.m1vPath))
    , m_mp2Path(qs(m_paths.mp2Path))
    , m_log(std::filesystem::path(m_paths.stateFolder) / core::kLogFileName)
{
    registerResources();
    buildLayout();
    bindControls();
    connectCommands();
    loadHandling();

    m_loop = std::make_unique<QtEventLoop>();
    m_passes = m_encoders.passes(*m_loop);
    m_checkProber = m_encoders.prober();
    m_addProber = m_encoders.prober();
    m_addWork = std::make_unique<core::Offload>(*m_loop);
    m_runHost = std::make_unique<WindowRunHost>(*this, m_prompter);
    m_run = std::make_unique<core::ConversionRun>(
        core::RunParts{.loop = *m_loop, .channel = *m_passes, .prober = *m_checkProber, .keepAwake = &m_keepAwake},
        *m_runHost, m_powerOff,
        core::RunPaths{.scriptPath = m_paths.scriptPath,
                       .m1vPath = m_paths.m1vPath,
                       .mp2Path = m_paths.mp2Path,
                       .appFolder = m_paths.appFolder});
    m_run->onEnded = [this](core::ConversionRun::Outcome outcome) {
        // Powered off: nothing is reset.
        if (outcome == core::ConversionRun::Outcome::PoweredOff)
            return;
        setListEditable(true);
        m_converting = false;
        refreshRunActions();
    };
    keepListSaved();
}

Form1::~Form1() = default;

// ---------------------------------------------------------------------------
// Start-up, the conversion run and exit

void Form1::loadHandling()
{
    // Linux has one way to power off; the field only picks the method.
    m_glngWhichWindows32 = 1;
    // A load that stops before "OptionSel" still leaves a single panel shown.
    switchPanel(0);
    switchIntroType(0);
    WindowSettings target(*this);
    // Nothing here is reported: stale files that stay and a load that stops
    // early leave the window usable as far as it got.
    settings::startUp(m_paths, QDir::homePath().toStdString(), target);
    centreOnScreen();
}

bool Form1::helperMissing()
{
    const std::string problem = m_encoders.problem();
    if (problem.empty())
        return false;
    showError(problem, core::kErrorTitle);
    return true;
}

void Form1::startConversion(std::vector<std::int32_t> only)
{
    // Start is hidden during the passes, but a box shown before the first pass
    // lets events run while it is still there; an add probes through the same
    // script file.
    if (m_converting || adding() || m_closingFlag || helperMissing())
        return;
    m_converting = true;
    setListEditable(false);
    m_run->start(std::move(only));
    refreshRunActions();
}

void Form1::stopConversion()
{
    m_run->stop();
}

void Form1::setListEditable(bool editable)
{
    m_cmdOpenVideo->setEnabled(editable);
    m_cmdRemove->setEnabled(editable);
}

void Form1::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (m_closingFlag)
        return;
    // In this order: the run and the add hear of it before anything else, and
    // the helpers have closed their files before they are deleted.
    m_closingFlag = true;
    m_run->close();
    m_add.reset();
    m_addProber->abort();
    m_addWork->wait();
    const WindowSettings target(*this);
    settings::finishExit(m_paths, target);
    dropSavedList(); // a normal exit: the next start begins with an empty list
    emit unloading();
}

// ---------------------------------------------------------------------------
// The job list

int Form1::selectedJob() const
{
    const int row = m_list->currentRow();
    return m_jobs.find(row) != nullptr ? row : -1;
}

void Form1::selectJob(int row)
{
    if (m_jobs.find(row) == nullptr)
        return;
    {
        // The load below runs once, whether or not the row changes.
        const QSignalBlocker blocker(m_list);
        m_listDir->setCurrentRow(row);
        m_list->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    }
    loadJob(row);
}

void Form1::openVideoFiles()
{
    if (adding())
        return;
    const FileRequest request{qs(core::qtFileFilter(core::kVideoFilter)), m_folders.video, qs(core::kOpenFileTitle),
                              QStringLiteral("avi")};
    const QStringList paths = m_prompter.openFileNames(request);
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
    m_cmdOpenVideo->setEnabled(false);
    probeNextFile();
}

void Form1::probeNextFile()
{
    if (m_add->done()) {
        m_folders.video = qs(m_add->folder());
        m_add.reset();
        m_cmdOpenVideo->setEnabled(!m_converting);
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
    m_frameCount = length;
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
    record.totalTime = m_frameCount;
    if (!m_jobs.append(title, path, record)) {
        showError(core::JobList::kListFullText, core::JobList::kListFullTitle);
        return;
    }
    const int row = m_jobs.count() - 1;
    clearJobStates();
    m_listDir->addItem(qs(path));
    m_list->addItem(qs(title));
    selectJob(row);

    // The new entry ends at its full length; its start stays as inherited.
    m_textEnd->setText(QString::number(m_frameCount));
    m_labelTotal->setText(secondsText(m_frameCount));
    m_sliderTime->setMaximum(core::sliderMaximum(m_frameCount));
    m_labelStart->setText(secondsText(0));
    m_labelEnd->setText(secondsText(m_frameCount));
    listChanged();
}

void Form1::removeSelectedJob()
{
    const std::vector<int> rows = selectedJobs();
    if (rows.empty() || m_converting)
        return;
    const int removed = rows.front();
    {
        const QSignalBlocker blocker(m_list);
        // From the last, so that the rows still to go keep their places.
        for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
            m_jobs.removeAt(*row);
            delete m_listDir->takeItem(*row);
            delete m_list->takeItem(*row);
        }
    }
    clearJobStates();
    // An emptied list keeps showing the removed entry's values.
    if (const auto next = core::JobList::selectionAfterRemove(removed, m_jobs.count()))
        selectJob(*next);
    listChanged();
}

void Form1::showJobState(int row, const core::JobStatus &status)
{
    if (m_jobs.find(row) == nullptr)
        return;
    m_jobs.setStatus(row, status);
    drawJobState(row);
    listChanged();
}

void Form1::drawJobState(int row)
{
    QListWidgetItem *item = m_list->item(row);
    const core::JobEntry *entry = m_jobs.find(row);
    if (item == nullptr || entry == nullptr)
        return;
    // A job without a state keeps a blank icon, so the texts stay aligned.
    static const std::array<const char *, 7> kIcons{nullptr,
                                                    ":/velmora/state-waiting.svg",
                                                    ":/velmora/state-converting.svg",
                                                    ":/velmora/state-done.svg",
                                                    ":/velmora/state-failed.svg",
                                                    ":/velmora/state-stopped.svg",
                                                    ":/velmora/state-stopped.svg"};
    const core::JobStatus &status = entry->status;
    if (status.state == core::JobState::None) {
        QPixmap blank(m_list->iconSize());
        blank.fill(Qt::transparent);
        item->setIcon(QIcon(blank));
    } else {
        item->setIcon(QIcon(qs(kIcons[static_cast<std::size_t>(status.state)])));
    }
    // A time the job was held to stays said below its state.
    const QString note = item->data(Qt::UserRole + 1).toString();
    const QString tip = qs(core::statusTooltip(status));
    item->setToolTip(note.isEmpty() ? tip : tip.isEmpty() ? note : tip + QLatin1Char('\n') + note);
}

core::JobState Form1::jobState(int row) const
{
    const core::JobEntry *entry = m_jobs.find(row);
    return entry != nullptr ? entry->status.state : core::JobState::None;
}

void Form1::clearJobState(int row)
{
    // An edited job is no longer what its state says.
    if (jobState(row) != core::JobState::None)
        showJobState(row, {});
}

void Form1::clearJobStates()
{
    m_jobs.clearStatuses();
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem *item = m_list->item(row);
        item->setIcon(QIcon());
        item->setToolTip({});
    }
}

// ---------------------------------------------------------------------------
// Switches and the time control

void Form1::switchPanel(int index)
{
    for (QGroupBox *panel : m_panels)
        panel->hide();
    if (index >= 0 && index < static_cast<int>(m_panels.size()))
        m_panels[static_cast<std::size_t>(index)]->show();
}

void Form1::switchIntroType(int index)
{
    const bool image = index != 0;
    for (const char *name : {"LabelIntVideo", "TextIntVideo", "cmdOpenIntVideo"})
        findChild<QWidget *>(qs(name))->setEnabled(!image);
    for (const char *name :
         {"LabelIntImage", "TextIntImage", "cmdOpenIntImage", "LabelIntImage1", "TextIntImageTime", "LabelIntImage3"})
        findChild<QWidget *>(qs(name))->setEnabled(image);
}

void Form1::showTimeWindow()
{
    m_labelTotal->setText(secondsText(m_frameCount));
    m_sliderTime->setMaximum(core::sliderMaximum(m_frameCount));
    m_labelStart->setText(qs(core::timeLabelText(m_textStart->text().toStdString())));
    m_labelEnd->setText(qs(core::timeLabelText(m_textEnd->text().toStdString())));
}

void Form1::setStart()
{
    const std::int32_t position = m_sliderTime->value();
    if (core::checkSetStart(position, m_textEnd->text().toStdString()) == core::TimeCheck::Refused) {
        showError(core::kStartAfterEndText, core::kTimeErrorTitle);
        return;
    }
    m_textStart->setText(QString::number(position));
    m_labelStart->setText(secondsText(position));
}

void Form1::setEnd()
{
    const std::int32_t position = m_sliderTime->value();
    if (core::checkSetEnd(position, m_textStart->text().toStdString()) == core::TimeCheck::Refused) {
        showError(core::kEndBeforeStartText, core::kTimeErrorTitle);
        return;
    }
    m_textEnd->setText(QString::number(position));
    m_labelEnd->setText(secondsText(position));
}

// ---------------------------------------------------------------------------
// Commands and window events

void Form1::connectCommands()
{
    const auto clicked = [this](const char *name, auto handler) {
        connect(findChild<QAbstractButton *>(qs(name)), &QAbstractButton::clicked, this, handler);
    };
    clicked("cmdOpenVideo", [this] { openVideoFiles(); });
    clicked("cmdRemove", [this] { removeSelectedJob(); });
    clicked("cmdleft", [this] { setStart(); });
    clicked("cmdright", [this] { setEnd(); });
    const auto box = [this](const char *name) { return findChild<QLineEdit *>(qs(name)); };
    clicked("cmdOpenAudio", [this, box] { pickFile(core::kAudioFilter, "wav", m_folders.audio, box("AudioFileText")); });
    clicked("cmdOpenSub",
            [this, box] { pickFile(core::kSubtitleFilter, "sub", m_folders.subtitle, box("SubFileText")); });
    clicked("cmdOpenIntVideo",
            [this, box] { pickFile(core::kVideoFilter, "avi", m_folders.introVideo, box("TextIntVideo")); });
    clicked("cmdOpenIntImage",
            [this, box] { pickFile(core::kImageFilter, "jpg", m_folders.introImage, box("TextIntImage")); });
    clicked("cmdSaveOutput", [this] { browseOutput(); });
    clicked("CmdDefault", [this] { resetToDefaults("Color Setting"); });
    clicked("CmdDefault1", [this] { resetToDefaults("Audio Setting"); });
    clicked("cmdFont", [this] { chooseLogoFont(); });
    clicked("cmdColor", [this] { chooseLogoColour(); });
    clicked("cmdStart", [this] { startConversion(); });
    clicked("cmdStop", [this] { stopConversion(); });
    clicked("cmdExit", [this] { close(); });

    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        loadJob(row);
        emit shownSettingsChanged();
    });
    connect(m_list, &QListWidget::itemSelectionChanged, this, [this] { refreshMixedMarks(); });
    auto *preview = new QAction(QStringLiteral("Preview"), m_list);
    preview->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    m_list->addAction(preview);
    m_list->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(preview, &QAction::triggered, this, [this] { openPreview(); });
    addRunActions();
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] { openPreview(); });
    connect(m_sliderTime, &QSlider::valueChanged, this,
            [this](int position) { m_labelCur->setText(secondsText(position)); });
    connect(m_optionSel, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            switchPanel(id);
    });

    m_list->installEventFilter(this);
    m_list->viewport()->installEventFilter(this);
    m_list->viewport()->setAcceptDrops(true);
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Delete) {
        removeSelectedJob();
        return true;
    }
    if (watched == m_list->viewport()) {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto *drag = static_cast<QDragMoveEvent *>(event);
            if (!adding() && !m_converting && !droppedFiles(drag->mimeData()).isEmpty())
                drag->acceptProposedAction();
            else
                drag->ignore();
            return true;
        }
        case QEvent::Drop: {
            auto *drop = static_cast<QDropEvent *>(event);
            const QStringList files = droppedFiles(drop->mimeData());
            if (files.isEmpty())
                return true;
            drop->acceptProposedAction();
            // Added after the drop has finished: the probe's messages must not
            // run inside the drag and drop exchange.
            QMetaObject::invokeMethod(this, [this, files] { addVideoFiles(files); }, Qt::QueuedConnection);
            return true;
        }
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::centreOnScreen()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect area = screen->availableGeometry();
    const QRect frame = frameGeometry();
    move(area.x() + (area.width() - frame.width()) / 2, area.y() + (area.height() - frame.height()) / 2);
}

} // namespace ui
