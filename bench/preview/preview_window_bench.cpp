// The preview window over the real helper processes, driven as a user scrubs: the
// slider moves every 120 ms and a colour bar every 700 ms for SECONDS, while
// a 16 ms timer on the window's thread records how late each tick comes
// (a tick late by more than 50 ms is a frame the window could not draw in
// time). Prints the renders delivered and the lateness; with SHOT, saves
// the main window and the preview side by side as a PNG.
//
// usage: preview_window_bench VIDEO SECONDS [SHOT.png]
//   BASELINE=1   the same, with the preview window hidden (nothing renders):
//                the lateness the machine's other load causes by itself

#include "../quiet_prompter.h"
#include "helper/helper_services.h"
#include "ui/form1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

class SilentPrompter final : public QuietPrompter
{
public:
    void message(const QString &text, const QString &, ui::MessageIcon) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    void messageWithDetail(const QString &text, const QString &, const QString &) override { message(text, {}, {}); }
};

class NoPowerOff final : public core::PowerOff
{
public:
    Result request() override { return {.accepted = false, .reason = "benchmark"}; }
};

void waitMs(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s VIDEO SECONDS [SHOT.png]\n", argv[0]);
        return 2;
    }
    QTemporaryDir program;
    SilentPrompter prompter;
    NoPowerOff powerOff;
    helper::HelperServices encoders(VELMORA_WORKER_PATH, TARVIK_LIBRARY_PATH);
    // Made before the window, whose preview uses it to the end.
    const auto previews = encoders.previews();
    ui::Form1 window(encoders, prompter, powerOff, program.path());
    window.setPreviewSource(previews.get());
    window.show();
    window.addVideoFiles({QString::fromLocal8Bit(argv[1])});
    // The add probes on its own thread; the preview needs the job in the list.
    while (window.adding())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    window.findChild<QLineEdit *>(QStringLiteral("TextLogo"))->setText(QStringLiteral("Velmora"));
    window.findChild<QLineEdit *>(QStringLiteral("TextLogoX"))->setText(QStringLiteral("12"));
    window.findChild<QLineEdit *>(QStringLiteral("TextLogoY"))->setText(QStringLiteral("100"));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSize(18);
    window.setLogoFont(font);
    window.findChild<QLineEdit *>(QStringLiteral("TextLogoEnd"))->setText(QStringLiteral("900"));
    window.setLogoColour(0x0000FF); // red
    window.openPreview();
    if (qEnvironmentVariableIntValue("BASELINE") == 1)
        window.findChild<QWidget *>(QStringLiteral("PreviewWindow"))->hide();
    auto *preview = window.findChild<QWidget *>(QStringLiteral("PreviewWindow"));
    auto *slider = preview->findChild<QSlider *>(QStringLiteral("PreviewSlider"));
    auto *frames = preview->findChild<QLabel *>(QStringLiteral("PreviewFrames"));
    auto *hue = window.findChild<QScrollBar *>(QStringLiteral("HScrollHue"));
    auto *saturation = window.findChild<QScrollBar *>(QStringLiteral("HScrollSat"));
    waitMs(1500);

    std::vector<double> lateMs;
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        lateMs.push_back(std::max(0.0, double(now - last) / 1e6 - 16.0));
        last = now;
    });
    int shown = 0;
    QString lastText;
    tick.start(16);
    const int seconds = std::atoi(argv[2]);
    int step = 0;
    QElapsedTimer run;
    run.start();
    while (run.elapsed() < seconds * 1000) {
        slider->setValue(static_cast<int>((std::int64_t{step} * 7919) % std::max(slider->maximum(), 1)));
        if (step % 25 == 0)
            hue->setValue(hue->value() == 90 ? -60 : 90);
        ++step;
        waitMs(120);
        if (frames->text() != lastText) {
            lastText = frames->text();
            ++shown;
        }
    }
    tick.stop();
    std::sort(lateMs.begin(), lateMs.end());
    const auto over = std::count_if(lateMs.begin(), lateMs.end(), [](double l) { return l > 50.0; });
    std::printf("requests %d pictures shown %d ticks %zu late median %.1f ms p99 %.1f ms max %.1f ms over 50 ms %ld\n",
                step, shown, lateMs.size(), lateMs[lateMs.size() / 2], lateMs[lateMs.size() * 99 / 100],
                lateMs.back(), static_cast<long>(over));

    if (argc > 3) {
        window.findChild<QAbstractButton *>(QStringLiteral("OptionSel_2"))->click();
        hue->setValue(90);
        saturation->setValue(20);
        slider->setValue(slider->maximum() / 3);
        waitMs(3000);
        const QPixmap left = window.grab();
        const QPixmap right = preview->grab();
        QImage both(left.width() + right.width() + 16, std::max(left.height(), right.height()), QImage::Format_RGB32);
        both.fill(QColor(60, 60, 60));
        QPainter paint(&both);
        paint.drawPixmap(0, 0, left);
        paint.drawPixmap(left.width() + 16, 0, right);
        paint.end();
        both.save(QString::fromLocal8Bit(argv[3]));
    }
    return 0;
}
