#pragma once

#include "preview/preview_worker.h"

#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QLabel;
class QRadioButton;
class QSlider;

namespace ui {

// What the preview reads of the main window.
struct PreviewSubject
{
    // A conversion is under way.
    std::function<bool()> converting;
    // The script request of the current job; nothing when there is none.
    std::function<std::optional<core::ScriptRequest>()> currentJob;
    // Where the preview's script goes when no folder of its own can be made;
    // ends in "/".
    std::string tempFolder;
};

// The preview: one picture of the selected job as the player will show it,
// rendered by the encoder library from the job's conversion script, at 1:1
// (256 pixels wide) or 2:1, with a slider over the job's output frames, the
// time of the frame shown and the frame count. It follows the main window's
// selection and settings (follow()), a short moment after the last change;
// renders run on a worker and never block either window. While a conversion
// runs it pauses and says so, and takes up again when the run has ended. A
// job the writer or the library refuses shows the reason instead of a picture.
//
// Owned by the main window; everything here runs on the window's thread
// except the worker's render.
class PreviewWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PreviewWindow)

public:
    PreviewWindow(PreviewSubject subject, core::PreviewSource &source, QWidget *parent = nullptr);
    ~PreviewWindow() override;

    // The selection or a setting has changed: render again shortly.
    void follow();

private:
    void render();
    void present(const core::PreviewResult &result);
    void showPicture();
    void showReason(const QString &reason);

    PreviewSubject m_subject;
    QTemporaryDir m_folder; // the preview's own script lives here, never the run's
    QTimer m_settle;        // gathers a burst of changes into one render
    QTimer m_pausePoll;     // watches for the end of a conversion
    std::uint64_t m_latest = 0;      // serial of the latest request; 0 after a pause
    core::ScriptRequest m_latestJob; // its job
    core::PreviewResult m_shown;
    QLabel *m_picture = nullptr;
    QLabel *m_time = nullptr;
    QLabel *m_frames = nullptr;
    QSlider *m_slider = nullptr;
    QRadioButton *m_zoom2 = nullptr;
    std::unique_ptr<core::PreviewWorker> m_worker; // last: stopped before the widgets go away
};

} // namespace ui
