// The window's layout: every control with its place, caption, tool tip and
// initial state, and the rooms made over the widgets laid out for them.
// Places are given in twips, as the layout was drawn.

#include "ui/form1.h"
#include "ui/qt_text.h"

#include "convert/conversion_run.h"
#include "ui/input_list_panel.h"
#include "ui/layout_kit.h"
#include "ui/logo_style.h"
#include "ui/run_controls.h"
#include "ui/time_window.h"
#include "window/window_rules.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>

namespace ui {

using namespace layout;

namespace {

constexpr const char *kLogoStartTip = "Start Time, in seconds of the source video (before its start is cut)";
constexpr const char *kLogoEndTip = "End Time, in seconds of the source video (before its start is cut)";

} // namespace

void Form1::buildLayout()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(qs(core::kWindowCaption));
    setWindowIcon(QIcon(QStringLiteral(":/velmora/velmora.svg")));
    setFixedSize(px(6735), px(4695));
    // A compact face like the one the layout was drawn with, so the captions
    // fit their places.
    QFont face = font();
    face.setFamilies({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans Narrow"),
                      QStringLiteral("Arial Narrow"), face.family()});
    face.setPixelSize(11);
    setFont(face);

    auto *frame1 = frame(this, "Frame1", "Input Video File list", "Input Video File list", tw(120, 120, 2295, 3375));
    InputListPanel::Widgets list;
    list.paths = placed(new QListWidget(frame1), "Listmp3dir", nullptr, tw(120, 480, 1575, 1035));
    list.paths->hide();
    list.titles = placed(new QListWidget(frame1), "Listmp3", "Input Video File list", tw(120, 240, 2055, 2595));
    // The jobs' state icons, small enough to keep the rows at the text's height.
    list.titles->setIconSize(QSize(16, 16));
    // Several entries at once (Ctrl+click, Shift+click, Ctrl+A, Shift+arrows,
    // Ctrl+Space): a change of a control goes into every selected job.
    list.titles->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list.add = button(frame1, "cmdOpenVideo", "Add...", "Adding Video Input Files", tw(120, 2880, 975, 375));
    list.remove = button(frame1, "cmdRemove", "Remove", "Deleting an Input File", tw(1200, 2880, 975, 375));
    m_list = std::make_unique<InputListPanel>(list, m_jobs);

    auto *frame11 = frame(this, "Frame11", "Select Setting", "Select Setting", tw(2520, 120, 4095, 855));
    m_optionSel = optionGroup(this, "OptionSel");
    option(frame11, m_optionSel, 0, "Parameter", "Basic Parameter", tw(120, 240, 1455, 195));
    option(frame11, m_optionSel, 1, "Output/Time", "Output Directory/Time Control", tw(1440, 240, 1335, 195));
    option(frame11, m_optionSel, 2, "Color Setting", "Color Parameter Setting", tw(2760, 240, 1215, 195));
    option(frame11, m_optionSel, 3, "Audio Setting", "Audio Parameter Setting", tw(120, 480, 1455, 315));
    option(frame11, m_optionSel, 4, "Audio/Subtitle", "Extern Audio/Subtitle and Text Logo Setting",
           tw(1440, 480, 1455, 315));
    option(frame11, m_optionSel, 5, "Intruduction", "Add Intruduction Setting", tw(2760, 480, 1215, 315));
    checkLaidOut(m_optionSel);
    for (QAbstractButton *choice : m_optionSel->buttons())
        fitButton(choice);

    struct PanelFrame
    {
        const char *caption;
        const char *tip;
    };
    const PanelFrame panels[6] = {
        {"Basic Parameter", "Basic Parameter"},
        {"Frame2", nullptr},
        {"Color Setting", "Color Parameter Setting"},
        {"Audio Setting", "Audio Parameter Setting"},
        {"Extern Audio/Subtitle", "Extern Audio/Subtitle"},
        {"Add Intruduction", nullptr},
    };
    for (int i = 0; i < 6; ++i) {
        const QByteArray name = "FrameSetting_" + QByteArray::number(i);
        m_panels[static_cast<std::size_t>(i)] =
            frame(this, name.constData(), panels[i].caption, panels[i].tip, tw(2520, 1080, 4095, 2415));
    }
    FilePickers::Widgets pickers;
    buildParameterPanel(m_panels[0]);
    buildOutputTimePanel(m_panels[1], pickers);
    buildColourPanel(m_panels[2]);
    buildAudioPanel(m_panels[3]);
    buildExternPanel(m_panels[4], pickers);
    buildIntroPanel(m_panels[5], pickers);
    m_pickers = std::make_unique<FilePickers>(pickers, m_prompter);

    RunControls::Widgets run;
    run.progress = placed(new QProgressBar(this), "ProgressBar", nullptr, tw(120, 3600, 6495, 375));
    run.progress->setRange(0, 200);
    run.progress->setValue(0);
    run.progress->setTextVisible(false);
    run.progressSlider = placed(new QSlider(Qt::Horizontal, this), "Slider", nullptr, tw(120, 3600, 3855, 375));
    run.progressSlider->setRange(0, 200);
    run.progressSlider->hide();
    connect(run.progressSlider, &QSlider::valueChanged, run.progress, &QProgressBar::setValue);

    run.pass = label(this, "LabelInfoPro", "Time Left for Process1:", "Time Left for Encoding Current Video File",
                     tw(120, 3960, 1695, 255));
    fitCaption(run.pass, {qs(core::kVideoPassLabel), qs(core::kAudioPassLabel)});
    run.timeLeft =
        label(this, "LabelInfoTime", "00:00:00", "Time Left for Encoding Current Video File", tw(1800, 3960, 1215, 255));
    run.percent = label(this, "LabelPercent", "0%", "Precent for Encoding Current Video File", tw(5760, 3960, 855, 255));
    run.shutDown =
        checkBox(this, "ShutDownCheck", "ShutDown PC After Finish", "ShutDown PC After Finish", tw(240, 4320, 2775, 255));
    // Stop lies under Start at the same place; a running conversion hides
    // Start to uncover it.
    run.stop = button(this, "cmdStop", "Stop", "Stop Converting", tw(3600, 4200, 1095, 375));
    run.start = button(this, "cmdStart", "Start", "Start Converting", tw(3600, 4200, 1095, 375));
    run.start->raise();
    run.quit = button(this, "cmdExit", "Quit", "Stop and Exit", tw(5160, 4200, 1095, 375));
    run.start->setFocus();
    m_runControls = std::make_unique<RunControls>(run);
}

void Form1::buildParameterPanel(QGroupBox *panel)
{
    label(panel, "Label13", "Frame Rate:", "Video Frame Rate", tw(240, 340, 1095, 255));
    combo(panel, "FRCombo", "Video Frame Rate", tw(1680, 300, 1575, 315));
    label(panel, "Label4", "fps", "Video Frame Rate", tw(3360, 315, 495, 375));
    label(panel, "Label6", "Video BitRate:", "Video BitRate", tw(240, 690, 1095, 255));
    textBox(panel, "VBRText", "Video BitRate", tw(1680, 650, 1575, 300));
    label(panel, "Label9", "kbps", "Video BitRate", tw(3360, 720, 495, 375));
    label(panel, "Label7", "Audio BitRate:", "Audio BitRate", tw(240, 1030, 1095, 255));
    combo(panel, "ABRCombo", "Audio BitRate", tw(1680, 960, 1575, 315));
    label(panel, "Label10", "kbps", "Audio BitRate", tw(3360, 1080, 495, 375));
    label(panel, "Label8", "Audio SampleRate:", "Audio SampleRate", tw(240, 1360, 1455, 255));
    combo(panel, "ASRCombo", "Audio SampleRate", tw(1680, 1320, 1575, 315));
    label(panel, "Label11", "Hz", "Audio SampleRate", tw(3360, 1440, 495, 375));
    label(panel, "Label1", "Encode Mode:", "Encode Mode", tw(240, 1710, 1335, 255));
    combo(panel, "ModeCombo", "Encode Mode", tw(1680, 1680, 1575, 315));
    checkBox(panel, "AutoCropCheck", "Auto Crop Black Edge", "Auto Crop Black Edges of Video",
             tw(240, 2040, 2295, 255));
}

void Form1::buildOutputTimePanel(QGroupBox *panel, FilePickers::Widgets &pickers)
{
    // The two inner frames fill the panel and hide its own caption.
    auto *frame10 = frame(panel, "Frame10", "Output Directory", "Output Directory", tw(0, 0, 4095, 855));
    auto *frame4 = frame(panel, "Frame4", "Time Control", "Time Control", tw(0, 960, 4095, 1455));
    frame10->setAutoFillBackground(true);
    frame4->setAutoFillBackground(true);

    label(frame10, "Label5", "Output Dir:", "Output Directory", tw(120, 400, 1815, 255));
    pickers.output = textBox(frame10, "OutputText", "Output Directory", tw(960, 360, 2175, 285));
    pickers.browseOutput =
        button(frame10, "cmdSaveOutput", "Browse...", "Change Output Directory", tw(3120, 360, 855, 320));

    TimeWindow::Widgets time;
    time.slider = placed(new QSlider(Qt::Horizontal, frame4), "SliderTime", nullptr, tw(240, 360, 3015, 255));
    time.slider->setRange(0, 10);
    time.total = label(frame4, "LabelTotal", "00:00:00", "Total Time", tw(3240, 360, 705, 255));
    time.position = label(frame4, "LabelCur", "00:00:00", "Current Position", tw(360, 720, 720, 255));
    time.setStart =
        placed(new QToolButton(frame4), "cmdleft", "Set Conversion Start Position", tw(1080, 720, 280, 280));
    time.setStart->setIcon(QIcon(QStringLiteral(":/velmora/cmdleft.svg")));
    time.setStart->setIconSize(QSize(16, 16));
    time.setEnd = placed(new QToolButton(frame4), "cmdright", "Set Conversion End Position", tw(1380, 720, 280, 280));
    time.setEnd->setIcon(QIcon(QStringLiteral(":/velmora/cmdright.svg")));
    time.setEnd->setIconSize(QSize(16, 16));
    time.start = label(frame4, "Labelstart", "00:00:00", "Conversion Start Position", tw(1710, 720, 705, 255));
    time.end = label(frame4, "Labelend", "00:00:00", "Conversion End Position", tw(2400, 720, 720, 255));
    checkBox(frame4, "CheckReverse", "Time Reverse", "Make the Clip Encoded in Reverse", tw(240, 1080, 1935, 255));

    // Start and end as whole seconds; the user sees them only as hh:mm:ss.
    label(frame4, "Label14", "Start Time:", "Convert Start Time", tw(120, 1560, 1215, 255))->hide();
    time.startBox = textBox(frame4, "TextStartTime", "Convert Start Time", tw(1320, 1560, 975, 285));
    time.startBox->hide();
    label(frame4, "Label16", "Seconds", "Convert Start Time", tw(2400, 1560, 735, 255))->hide();
    label(frame4, "Label15", "End Time:", "Convert End Time", tw(120, 1800, 1215, 255))->hide();
    time.endBox = textBox(frame4, "TextEndTime", "Convert End Time", tw(1320, 1800, 975, 285));
    time.endBox->hide();
    label(frame4, "Label17", "Seconds", "Convert End Time", tw(2400, 1800, 735, 255))->hide();
    m_time = std::make_unique<TimeWindow>(time, m_prompter);
}

void Form1::buildColourPanel(QGroupBox *panel)
{
    struct Row
    {
        int top;
        const char *nameLabel;
        const char *caption;
        const char *bar;
        const char *tip;
    };
    const Row rows[] = {
        {240, "Label18", "Hue:", "HScrollHue", "Video Hue(0=No Change)"},
        {600, "Label19", "Saturation:", "HScrollSat", "Video Saturation(1=No Change)"},
        {960, "Label20", "Brightness:", "HScrollBri", "Video Brightness(0=No Change)"},
        {1320, "Label21", "Contrast:", "HScrollCon", "Video Contrase(1=No Change)"},
        {1680, "Label23", "Sharpness:", "HScrollSha", "Video Sharpness(0=No Change)"},
    };
    for (const Row &line : rows) {
        label(panel, line.nameLabel, line.caption, line.tip, tw(240, line.top, 975, 255));
        bar(panel, line.bar, tw(1200, line.top, 1815, 255));
        barLabel(panel, line.bar, line.tip, tw(3120, line.top, 615, 255));
    }
    button(panel, "CmdDefault", "Default", "Recommand Defult Value", tw(1440, 2040, 1095, 255));
}

void Form1::buildAudioPanel(QGroupBox *panel)
{
    label(panel, "Label24", "Volume:", "Audio Volume(100%=No Change)", tw(240, 480, 975, 255));
    bar(panel, "HScrollVol", tw(1200, 480, 1815, 255));
    barLabel(panel, "HScrollVol", "Audio Volume(100%=No Change)", tw(3120, 480, 615, 255));
    label(panel, "Label22", "%", nullptr, tw(3480, 480, 375, 255));
    label(panel, "Label25", "Channel:", "Audio Channel", tw(240, 1080, 855, 255));
    m_optionCha = optionGroup(this, "OptionCha");
    option(panel, m_optionCha, 0, "Stereo", "Stereo Two Channel", tw(1320, 1080, 1215, 255));
    option(panel, m_optionCha, 1, "Left", "Mono Left Channel", tw(2160, 1080, 1215, 255));
    option(panel, m_optionCha, 2, "Right", "Mono Right Channel", tw(2880, 1080, 1000, 255));
    checkLaidOut(m_optionCha);
    label(panel, "Label26", "Delay:", "Audio Delay(0=No Delay)", tw(240, 1560, 975, 255));
    bar(panel, "HScrollDel", tw(1200, 1560, 1815, 255));
    barLabel(panel, "HScrollDel", "Audio Delay(0=No Delay)", tw(3120, 1560, 615, 255));
    label(panel, "Label28", "Seconds", "Audio Delay(0=No Delay)", tw(3405, 1560, 645, 255));
    button(panel, "CmdDefault1", "Default", "Recommand Defult Value", tw(1680, 2040, 1095, 255));
}

void Form1::buildExternPanel(QGroupBox *panel, FilePickers::Widgets &pickers)
{
    label(panel, "Label2", "Audio File:", "Extern Audio File", tw(240, 285, 1815, 255));
    pickers.audio = textBox(panel, "AudioFileText", "Extern Audio File", tw(1200, 240, 2055, 285));
    pickers.openAudio = button(panel, "cmdOpenAudio", "Add...", "Add Extern Audio File", tw(3240, 240, 735, 255));
    label(panel, "Label12", "Subtitle File:", "Extern Subtitle File", tw(240, 645, 1815, 255));
    pickers.subtitle = textBox(panel, "SubFileText", "Extern Subtitle File", tw(1200, 600, 2055, 285));
    pickers.openSubtitle = button(panel, "cmdOpenSub", "Add...", "Add Extern Subtitle File", tw(3240, 600, 735, 255));
    label(panel, "Label30", "Text Logo:", "Text Logo", tw(240, 1035, 1815, 255));
    QLineEdit *logo = textBox(panel, "TextLogo", "Text Logo Content", tw(1200, 960, 2775, 495));

    auto *frame9 = frame(panel, "Frame9", "Text Logo Setting", "Text Logo Setting", tw(120, 1440, 3855, 855));
    label(frame9, "Label31", "x:", "x Position", tw(120, 240, 255, 255));
    textBox(frame9, "TextLogoX", "x Position", tw(360, 240, 735, 285));
    label(frame9, "Label33", "Start:", "Start Time", tw(1320, 240, 615, 255));
    // The logo is drawn before the time window is cut: its times are the
    // source video's, whatever the start and the introduction do.
    textBox(frame9, "TextLogoStart", kLogoStartTip, tw(1800, 240, 735, 285));
    label(frame9, "Label35", "s", "Start Time", tw(2520, 240, 255, 255));
    QPushButton *font = button(frame9, "cmdFont", "Font", "Text Logo Font Setting", tw(3000, 240, 615, 255));
    label(frame9, "Label32", "y:", "y Position", tw(120, 480, 255, 255));
    textBox(frame9, "TextLogoY", "y Position", tw(360, 480, 735, 285));
    label(frame9, "Label34", "End:", "End Time", tw(1320, 480, 615, 255));
    textBox(frame9, "TextLogoEnd", kLogoEndTip, tw(1800, 480, 735, 285));
    label(frame9, "Label36", "s", "End Time", tw(2520, 480, 255, 255));
    QPushButton *colour = button(frame9, "cmdColor", "Color", "Text Logo Color Setting", tw(3000, 480, 615, 255));
    m_logo = std::make_unique<LogoStyle>(*logo, *font, *colour, m_prompter);
}

void Form1::buildIntroPanel(QGroupBox *panel, FilePickers::Widgets &pickers)
{
    m_optionInt = optionGroup(this, "OptionInt");
    option(panel, m_optionInt, 0, "Video", "Intruduction Type is Video File", tw(600, 240, 1335, 255));
    option(panel, m_optionInt, 1, "Image", "Intruduction Type is Image File", tw(2400, 240, 1335, 255));
    checkLaidOut(m_optionInt);
    label(panel, "LabelIntVideo", "Video File:", "Intruduction Video File", tw(240, 585, 1215, 255));
    pickers.introVideo = textBox(panel, "TextIntVideo", "Intruduction Video File", tw(1080, 600, 2175, 285));
    pickers.openIntroVideo =
        button(panel, "cmdOpenIntVideo", "Add...", "Add Intruduction Video File", tw(3240, 600, 735, 255));
    label(panel, "LabelIntImage", "Image File:", "Intruduction Image File", tw(240, 990, 1215, 255))
        ->setEnabled(false);
    pickers.introImage = textBox(panel, "TextIntImage", "Intruduction Image File", tw(1080, 960, 2175, 285));
    pickers.introImage->setEnabled(false);
    pickers.openIntroImage =
        button(panel, "cmdOpenIntImage", "Add...", "Add Intruduction Image File", tw(3240, 960, 735, 255));
    pickers.openIntroImage->setEnabled(false);
    label(panel, "LabelIntImage1", "Image Time:", "Intruduction Image Time", tw(240, 1365, 1215, 255))
        ->setEnabled(false);
    textBox(panel, "TextIntImageTime", nullptr, tw(1200, 1320, 615, 285))->setEnabled(false);
    label(panel, "LabelIntImage3", "s", nullptr, tw(1800, 1365, 255, 255))->setEnabled(false);
    label(panel, "Label29", "Fade Time:", "Intruduction Fade Time", tw(2160, 1365, 1215, 255));
    textBox(panel, "TextFadeTime", nullptr, tw(3120, 1320, 615, 285));
    label(panel, "Label27", "s", nullptr, tw(3720, 1365, 255, 255));

    auto *frame7 = frame(panel, "Frame7", "Fade Mode", "Intruduction Fade Mode", tw(120, 1680, 3855, 615));
    m_optionFade = optionGroup(this, "OptionFade");
    option(frame7, m_optionFade, 0, "In", "Fade In", tw(120, 240, 855, 255));
    option(frame7, m_optionFade, 1, "Out", "Fade Out", tw(960, 240, 975, 255));
    option(frame7, m_optionFade, 2, "In/Out", "Fade In/Out", tw(1800, 240, 1095, 255));
    option(frame7, m_optionFade, 3, "Overlap", "Overlap", tw(2760, 240, 975, 255));
    checkLaidOut(m_optionFade);
}

} // namespace ui
