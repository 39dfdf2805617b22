#pragma once

// A window over a fake library, fake dialogs and a fake power-off. Its
// program folder has no settings file, so the controls show the defaults;
// its output folder is a scratch one.

#include "support/fake_encoder.h"
#include "support/fake_prompter.h"
#include "support/fake_services.h"
#include "support/scratch.h"
#include "ui/form1.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

class WindowTest : public ::testing::Test
{
protected:
    WindowTest()
    {
        for (const auto *folder : {&program, &media, &output})
            support::fs::create_directories(*folder);
        window = open();
        edit("OutputText")->setText(qs(output.string() + "/"));
    }

    // Over the fake library and dialogs unless others are given.
    std::unique_ptr<ui::Form1> open(core::EncoderServices *library = nullptr, ui::Prompter *dialogs = nullptr)
    {
        return std::make_unique<ui::Form1>(library ? *library : services, dialogs ? *dialogs : prompter, powerOff,
                                           qs(program.string()));
    }
    static QString qs(const std::string &text) { return QString::fromStdString(text); }

    // A video file the fake library measures as [length] seconds (0: refused).
    QString video(const std::string &name, std::int32_t length)
    {
        encoder.lengths[name] = length;
        support::writeFile(media / name, "");
        return qs((media / name).string());
    }
    // [count] good videos v000.avi, v001.avi ... added in one go.
    void addVideos(int count, std::int32_t length = 60, int first = 0)
    {
        QStringList paths;
        for (int i = first; i < first + count; ++i)
            paths << video(QStringLiteral("v%1.avi").arg(i, 3, 10, QLatin1Char('0')).toStdString(), length);
        add(paths);
    }
    // The window's add, waited for: the probes answer as events.
    void add(const QStringList &paths)
    {
        window->addVideoFiles(paths);
        waitUntil([this] { return !window->adding(); });
    }
    // Lets the window's events run until [done] holds (at most 20 s).
    template <typename F>
    static void waitUntil(F done)
    {
        ASSERT_TRUE(QTest::qWaitFor(done, 20000)) << "the window never got there";
    }
    // Start, waited for until the batch has ended.
    void runBatch()
    {
        click("cmdStart");
        waitUntil([this] { return !window->converting() || window->closing(); });
    }
    QStringList titles() const
    {
        QStringList result;
        for (int i = 0; i < list()->count(); ++i)
            result << list()->item(i)->text();
        return result;
    }

    template <typename W = QWidget>
    W *child(const char *name) const
    {
        auto *widget = window->findChild<W *>(QString::fromUtf8(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QLineEdit *edit(const char *name) const { return child<QLineEdit>(name); }
    QLabel *label(const char *name) const { return child<QLabel>(name); }
    QScrollBar *bar(const char *name) const { return child<QScrollBar>(name); }
    QListWidget *list() const { return child<QListWidget>("Listmp3"); }
    void click(const char *name) const { child<QAbstractButton>(name)->click(); }
    const core::JobSettings &record(int row) const { return window->jobs().settingsAt(row); }

    const support::fs::path root = support::scratchFolder();
    const support::fs::path program = root / "program", media = root / "media", output = root / "out";
    support::FakeEncoder encoder;
    support::FakeServices services{encoder};
    support::FakePrompter prompter;
    support::FakePowerOff powerOff;
    std::unique_ptr<ui::Form1> window;
};
