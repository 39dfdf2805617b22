#include "ui/form1.h"
#include "ui/qt_text.h"

#include "convert/conversion_run.h"
#include "convert/offload.h"
#include "convert/preflight.h"
#include "window/window_rules.h"
#include "ui/input_list_panel.h"
#include "ui/logo_style.h"
#include "ui/preview_window.h"
#include "ui/qt_event_loop.h"
#include "ui/run_controls.h"
#include "ui/saved_list_keeper.h"
#include "ui/time_window.h"
#include "ui/window_run_host.h"
#include "ui/window_settings.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDir>
#include <QGroupBox>
#include <QGuiApplication>
#include <QScreen>

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
    m_runHost = std::make_unique<WindowRunHost>(RunHostParts{
        .controls = *m_runControls,
        .list = *m_list,
        .log = m_log,
        .prompter = m_prompter,
        .paths = m_paths,
        .scriptRequest = [this](const std::string &videoPath) { return scriptRequest(1, qs(videoPath)); }});
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
        m_list->setEditable(true);
        m_converting = false;
        m_runControls->refreshActions();
    };
    m_runControls->setRun(*m_run);
    keepListSaved();
}

Form1::~Form1() = default;

// ---------------------------------------------------------------------------
// Start-up, the conversion run and exit

WindowSettings Form1::settingsTarget()
{
    return WindowSettings({.controls = *this,
                           .folders = m_pickers->folders(),
                           .logo = *m_logo,
                           .time = *m_time,
                           .optionSwitch = [this](std::string_view group, std::int16_t index) {
                               if (group == "OptionSel")
                                   switchPanel(index);
                               else if (group == "OptionInt")
                                   switchIntroType(index);
                           }});
}

void Form1::loadHandling()
{
    // Linux has one way to power off; the field only picks the method.
    m_glngWhichWindows32 = 1;
    // A load that stops before "OptionSel" still leaves a single panel shown.
    switchPanel(0);
    switchIntroType(0);
    WindowSettings target = settingsTarget();
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

void Form1::showError(const std::string &text, const char *title)
{
    ui::showError(m_prompter, text, title);
}

void Form1::startConversion(std::vector<std::int32_t> only)
{
    // Start is hidden during the passes, but a box shown before the first pass
    // lets events run while it is still there; an add probes through the same
    // script file.
    if (m_converting || adding() || m_closingFlag || helperMissing())
        return;
    m_converting = true;
    m_list->setEditable(false);
    m_run->start(std::move(only));
    m_runControls->refreshActions();
}

void Form1::stopConversion()
{
    m_run->stop();
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
    const WindowSettings target = settingsTarget();
    settings::finishExit(m_paths, target);
    dropSavedList(); // a normal exit: the next start begins with an empty list
    emit unloading();
}

// ---------------------------------------------------------------------------
// The job list

int Form1::selectedJob() const
{
    return m_list->currentJob();
}

void Form1::selectJob(int row)
{
    m_list->selectJob(row);
}

void Form1::showJobState(int row, const core::JobStatus &status)
{
    m_list->showJobState(row, status);
}

core::JobState Form1::jobState(int row) const
{
    return m_list->jobState(row);
}

// ---------------------------------------------------------------------------
// Switches, the rooms' state and the preview

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

std::int32_t Form1::frameCount() const
{
    return m_time->frameCount();
}

void Form1::setFrameCount(std::int32_t seconds)
{
    m_time->setFrameCount(seconds);
}

QFont Form1::logoFont() const
{
    return m_logo->font();
}

void Form1::setLogoFont(const QFont &font)
{
    m_logo->setFont(font);
}

std::int32_t Form1::logoColour() const
{
    return m_logo->colour();
}

void Form1::setLogoColour(std::int32_t colour)
{
    m_logo->setColour(colour);
}

PickerFolders &Form1::pickerFolders()
{
    return m_pickers->folders();
}

void Form1::openPreview()
{
    if (m_previewSource == nullptr)
        return;
    if (m_preview == nullptr) {
        PreviewSubject subject{.converting = [this] { return m_converting; },
                               .currentJob = [this]() -> std::optional<core::ScriptRequest> {
                                   const core::JobEntry *job = m_jobs.find(selectedJob());
                                   if (job == nullptr)
                                       return std::nullopt;
                                   return scriptRequest(1, qs(job->fullPath));
                               },
                               .tempFolder = m_paths.tempFolder};
        m_preview = new PreviewWindow(std::move(subject), *m_previewSource, this);
        connect(this, &Form1::shownSettingsChanged, m_preview, &PreviewWindow::follow);
        m_preview->move(frameGeometry().topRight() + QPoint(8, 0));
    }
    m_preview->show();
    m_preview->raise();
    m_preview->follow();
}

// ---------------------------------------------------------------------------
// Commands

void Form1::connectCommands()
{
    const auto clicked = [this](const char *name, auto handler) {
        connect(findChild<QAbstractButton *>(qs(name)), &QAbstractButton::clicked, this, handler);
    };
    clicked("CmdDefault", [this] { resetToDefaults("Color Setting"); });
    clicked("CmdDefault1", [this] { resetToDefaults("Audio Setting"); });

    InputListPanel &list = *m_list;
    connect(&list, &InputListPanel::addClicked, this, [this] { openVideoFiles(); });
    connect(&list, &InputListPanel::removeRequested, this, [this] { removeSelectedJob(); });
    connect(&list, &InputListPanel::filesDropped, this, [this](const QStringList &files) { addVideoFiles(files); });
    connect(&list, &InputListPanel::currentChanged, this, [this](int row) {
        loadJob(row);
        emit shownSettingsChanged();
    });
    connect(&list, &InputListPanel::jobSelected, this, [this](int row) { loadJob(row); });
    connect(&list, &InputListPanel::selectionChanged, this, [this] { refreshMixedMarks(); });
    connect(&list, &InputListPanel::stateChanged, this, [this] { listChanged(); });
    connect(&list, &InputListPanel::entryDoubleClicked, this, [this] { openPreview(); });
    connect(list.addMenuAction("", QStringLiteral("Preview"), QKeySequence(Qt::CTRL | Qt::Key_P)), &QAction::triggered,
            this, [this] { openPreview(); });

    RunControls &run = *m_runControls;
    run.addMenuActions(list);
    connect(&run, &RunControls::startClicked, this, [this] { startConversion(); });
    connect(&run, &RunControls::quitClicked, this, [this] { close(); });
    connect(&run, &RunControls::convertAgain, this, [this] {
        if (const int row = selectedJob(); row >= 0 && !m_converting)
            showJobState(row, core::JobStatus::waiting());
    });
    connect(&run, &RunControls::convertFailedAgain, this, [this] {
        if (const std::vector<std::int32_t> jobs = m_list->failedJobs(); !jobs.empty())
            startConversion(jobs);
    });
    addPresetActions();

    connect(m_logo.get(), &LogoStyle::changed, this, &Form1::shownSettingsChanged);
    connect(m_optionSel, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            switchPanel(id);
    });
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
