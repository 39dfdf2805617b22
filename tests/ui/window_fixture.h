#pragma once

#include "fakes.h"
#include "ui/form1.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QSlider>

#include <gtest/gtest.h>

#include <memory>

namespace test {

// A window over a fake encoder, fake dialogs and a fake power-off, its
// program folder a temporary one without a settings file (so the controls
// show the defaults), and its output folder another.
class WindowTest : public ::testing::Test
{
protected:
    WindowTest()
        : window(std::make_unique<ui::Form1>(encoder, prompter, powerOff, program.path()))
    {
        // Converted files go to a scratch folder, not the user's home.
        edit("OutputText")->setText(output.path() + QLatin1Char('/'));
    }

    // A video file the fake encoder measures as [lengthSec] (0: refused).
    QString video(const QString &name, std::int32_t lengthSec)
    {
        encoder.lengths[name.toStdString()] = lengthSec;
        return media.touch(name);
    }

    // Adds [count] good videos named v000.avi, v001.avi ... in one selection.
    void addVideos(int count, std::int32_t lengthSec = 60, int first = 0)
    {
        QStringList paths;
        for (int i = first; i < first + count; ++i)
            paths << video(QStringLiteral("v%1.avi").arg(i, 3, 10, QLatin1Char('0')), lengthSec);
        window->addVideoFiles(paths);
    }

    template <typename W = QWidget>
    W *child(const char *name) const
    {
        auto *widget = window->findChild<W *>(QString::fromUtf8(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QComboBox *combo(const char *name) const { return child<QComboBox>(name); }
    QLineEdit *edit(const char *name) const { return child<QLineEdit>(name); }
    QLabel *label(const char *name) const { return child<QLabel>(name); }
    QScrollBar *bar(const char *name) const { return child<QScrollBar>(name); }
    QAbstractButton *buttonNamed(const char *name) const { return child<QAbstractButton>(name); }
    void click(const char *name) const { buttonNamed(name)->click(); }
    QListWidget *list() const { return child<QListWidget>("Listmp3"); }

    const core::JobSettings &record(int row) const { return window->jobs().settingsAt(row); }

    TempFolder program;
    TempFolder media;
    TempFolder output;
    FakeEncoder encoder;
    FakePrompter prompter;
    FakePowerOff powerOff;
    std::unique_ptr<ui::Form1> window;
};

} // namespace test
