#pragma once

#include <QObject>

#include <cstdint>

class QLabel;
class QLineEdit;
class QSlider;
class QToolButton;

namespace ui {

class Prompter;

// The Time Control frame: a slider over the shown clip, its length
// (LabelTotal), the slider's position (LabelCur), and the conversion's start
// and end, kept as whole seconds in the hidden boxes TextStartTime and
// TextEndTime and shown as hh:mm:ss in Labelstart and Labelend. cmdleft and
// cmdright set the start or the end at the slider's position; a window that
// would not be strictly ordered is refused with a box.
//
// The widgets belong to the window and are borrowed; window's thread only.
class TimeWindow final : public QObject
{
    Q_DISABLE_COPY_MOVE(TimeWindow)

public:
    struct Widgets
    {
        QSlider *slider = nullptr;    // SliderTime
        QLabel *total = nullptr;      // LabelTotal
        QLabel *position = nullptr;   // LabelCur
        QLabel *start = nullptr;      // Labelstart
        QLabel *end = nullptr;        // Labelend
        QToolButton *setStart = nullptr; // cmdleft
        QToolButton *setEnd = nullptr;   // cmdright
        QLineEdit *startBox = nullptr;   // TextStartTime
        QLineEdit *endBox = nullptr;     // TextEndTime
    };

    TimeWindow(const Widgets &widgets, Prompter &prompter);

    // The shown clip's length in seconds ("frameCount" in the settings file).
    std::int32_t frameCount() const { return m_frameCount; }
    void setFrameCount(std::int32_t seconds) { m_frameCount = seconds; }

    // The one place the labels and the slider's range are set: LabelTotal
    // and the range from [frameCountSec], Labelstart and Labelend from
    // [startSec] and [endSec].
    void show(std::int32_t frameCountSec, std::int32_t startSec, std::int32_t endSec);
    // show() from frameCount and the two boxes.
    void refresh();
    // A job's clip of [lengthSec] is shown, the slider back at its start.
    void load(std::int32_t lengthSec);
    // A newly added clip ends at its full length.
    void endAtFullLength();

private:
    enum class Bound { Start, End };
    // cmdleft or cmdright: the start or the end at the slider's position.
    void setAtSlider(Bound bound);

    Widgets m_widgets;
    Prompter &m_prompter;
    std::int32_t m_frameCount = 0;
};

} // namespace ui
