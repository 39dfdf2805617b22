#include "ui/preview_window.h"
#include "ui/qt_text.h"


#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

namespace ui {

namespace {

// Long enough to gather the changes of one gesture (a job loading all its
// controls, a bar dragged), short enough to feel immediate.
constexpr int kSettleMs = 120;
constexpr int kPausePollMs = 500;

} // namespace

PreviewWindow::PreviewWindow(PreviewSubject subject, core::PreviewSource &source, QWidget *parent)
    : QWidget(parent, Qt::Window), m_subject(std::move(subject))
{
    setObjectName(QStringLiteral("PreviewWindow"));
    setWindowTitle(QStringLiteral("Preview"));
    // Closing the main window ends the program, also while this one is open.
    setAttribute(Qt::WA_QuitOnClose, false);

    m_picture = new QLabel(this);
    m_picture->setObjectName(QStringLiteral("PreviewPicture"));
    m_picture->setAlignment(Qt::AlignCenter);
    m_picture->setWordWrap(true);
    m_picture->setMinimumSize(256, 144);
    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setObjectName(QStringLiteral("PreviewSlider"));
    m_slider->setRange(0, 0);
    m_time = new QLabel(QStringLiteral("00:00:00"), this);
    m_time->setObjectName(QStringLiteral("PreviewTime"));
    m_frames = new QLabel(this);
    m_frames->setObjectName(QStringLiteral("PreviewFrames"));
    auto *zoom1 = new QRadioButton(QStringLiteral("1:1"), this);
    zoom1->setObjectName(QStringLiteral("PreviewZoom1"));
    zoom1->setChecked(true);
    m_zoom2 = new QRadioButton(QStringLiteral("2:1"), this);
    m_zoom2->setObjectName(QStringLiteral("PreviewZoom2"));

    auto *under = new QHBoxLayout;
    under->addWidget(m_time);
    under->addStretch();
    under->addWidget(m_frames);
    under->addStretch();
    under->addWidget(zoom1);
    under->addWidget(m_zoom2);
    auto *column = new QVBoxLayout(this);
    column->addWidget(m_picture, 1);
    column->addWidget(m_slider);
    column->addLayout(under);
    column->setSizeConstraint(QLayout::SetFixedSize);

    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, [this] { render(); });
    m_pausePoll.setInterval(kPausePollMs);
    connect(&m_pausePoll, &QTimer::timeout, this, [this] {
        if (!m_subject.converting())
            render();
    });
    connect(m_slider, &QSlider::valueChanged, this, [this] { render(); });
    connect(m_zoom2, &QRadioButton::toggled, this, [this] { showPicture(); });

    const QString script = m_folder.isValid()
                               ? m_folder.filePath(QStringLiteral("preview.avs"))
                               : qs(m_subject.tempFolder) + QStringLiteral("preview.avs");
    m_worker = std::make_unique<core::PreviewWorker>(source, script.toStdString(), [this](core::PreviewResult r) {
        // Back to the window's thread; dropped there when stale, or when
        // this window is gone.
        QMetaObject::invokeMethod(this, [this, r = std::move(r)] { present(r); }, Qt::QueuedConnection);
    });
}

PreviewWindow::~PreviewWindow()
{
    m_worker.reset();
}

void PreviewWindow::follow()
{
    if (isVisible())
        m_settle.start();
}

void PreviewWindow::render()
{
    m_settle.stop();
    if (!isVisible())
        return;
    if (m_subject.converting()) {
        // The run owns the machine and moves the selection itself.
        m_worker->cancel();
        m_latest = 0;
        m_pausePoll.start();
        showReason(QStringLiteral("Paused while the conversion runs; the preview returns when it has ended."));
        return;
    }
    m_pausePoll.stop();
    std::optional<core::ScriptRequest> job = m_subject.currentJob();
    if (!job) {
        m_worker->cancel();
        m_latest = 0;
        showReason(QStringLiteral("No job is selected."));
        return;
    }
    m_latestJob = std::move(*job);
    m_latest = m_worker->request({m_latestJob, m_slider->value()});
}

void PreviewWindow::present(const core::PreviewResult &result)
{
    if (m_latest == 0 || !core::showsLatest(result, m_shown.serial, m_latestJob))
        return;
    {
        const QSignalBlocker quiet(m_slider);
        m_slider->setRange(0, std::max(result.frames - 1, 0));
        // An earlier frame arriving must not pull back a slider being dragged.
        if (result.serial == m_latest)
            m_slider->setValue(result.index);
    }
    m_time->setText(qs(core::previewTimeText(result.index, result.frameRate)));
    m_frames->setText(result.frames > 0
                          ? QStringLiteral("Frame %1 of %2").arg(result.index + 1).arg(result.frames)
                          : QString());
    m_shown = result;
    if (result.shown)
        showPicture();
    else
        showReason(qs(result.reason));
}

void PreviewWindow::showPicture()
{
    if (!m_shown.shown)
        return;
    const QImage image(m_shown.rgb.data(), m_shown.width, m_shown.height, m_shown.width * 3, QImage::Format_RGB888);
    const int scale = m_zoom2->isChecked() ? 2 : 1;
    // Whole pixels doubled, as the eye would see them on a screen twice as big.
    m_picture->setPixmap(QPixmap::fromImage(image.scaled(image.size() * scale, Qt::IgnoreAspectRatio,
                                                         Qt::FastTransformation)));
}

void PreviewWindow::showReason(const QString &reason)
{
    m_shown.shown = false;
    m_picture->setPixmap({});
    m_picture->setText(reason);
}

} // namespace ui
