#pragma once

#include <QObject>
#include <QString>

class QAction;
class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSlider;

namespace core {
class ConversionRun;
} // namespace core

namespace ui {

class InputListPanel;

// The run's controls: Start, Stop and Quit, the progress strip under the
// panels (the bar, the pass, the time left and the percentage), the
// power-off check box, and the batch's entries of the list's menu (Stop
// after this video, Pause/Resume, Convert again, Convert the failed videos
// again), which follow the run.
//
// Start, Quit and the two Convert entries are the window's to carry out:
// they are signals. The widgets belong to the window and are borrowed;
// window's thread only.
class RunControls final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RunControls)

public:
    struct Widgets
    {
        QProgressBar *progress = nullptr; // ProgressBar
        QSlider *progressSlider = nullptr; // Slider, hidden; the bar follows it
        QLabel *pass = nullptr;           // LabelInfoPro
        QLabel *timeLeft = nullptr;       // LabelInfoTime
        QLabel *percent = nullptr;        // LabelPercent
        QCheckBox *shutDown = nullptr;    // ShutDownCheck
        QPushButton *start = nullptr;     // cmdStart, over cmdStop
        QPushButton *stop = nullptr;      // cmdStop
        QPushButton *quit = nullptr;      // cmdExit
    };

    explicit RunControls(const Widgets &widgets);

    // Puts the batch's entries into [list]'s menu, after those it has.
    void addMenuActions(InputListPanel &list);
    // The run that Stop and the menu act on (borrowed); set once it is made.
    void setRun(core::ConversionRun &run);
    // The menu's entries follow the run (running, held).
    void refreshActions();

    // The progress strip, as the run reports it.
    void setProgress(int value);
    void setPercentText(const QString &text);
    void setPassText(const QString &text);
    void setTimeLeftText(const QString &text);
    // The whole batch's time left, below the time-left label's own tooltip;
    // empty: the label's own only.
    void setBatchTimeLeft(const QString &text);
    // [paused]: [pausedText] where the pass's label was; otherwise the pass's
    // label comes back.
    void showPaused(bool paused, const QString &pausedText);
    // Start is hidden while a batch runs, which uncovers Stop.
    void setStartVisible(bool visible);
    bool shutDownChecked() const;

signals:
    void startClicked();
    void quitClicked();
    void convertAgain();
    void convertFailedAgain();

private:
    Widgets m_widgets;
    core::ConversionRun *m_run = nullptr;
    QString m_passText; // LabelInfoPro's text before the batch was held
    QAction *m_stopAfter = nullptr;
    QAction *m_pause = nullptr;
    QAction *m_again = nullptr;
    QAction *m_failedAgain = nullptr;
};

} // namespace ui
