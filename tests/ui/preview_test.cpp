// The preview window over a fake library: it opens from the list, follows
// the selection and the settings through the real script writer, and shows
// the library's reason when a job is refused.

#include "window_fixture.h"

#include "preview/preview_worker.h"

#include <QAction>
#include <QTest>

#include <mutex>
#include <tuple>

namespace {

// 100 frames of 256x144 in one grey; refuses a script whose text holds
// [refuseWhen]. Keeps the script it was given last.
class FakePreviewSource final : public core::PreviewSource
{
public:
    std::int32_t previewFrames(const std::string &scriptPath, std::string &error) override
    {
        std::lock_guard lock(mutex);
        lastScript = support::readFile(scriptPath);
        error = "Script error in line 3: cannot open the file";
        return !refuseWhen.empty() && lastScript.find(refuseWhen) != std::string::npos ? -1 : 100;
    }
    std::int32_t preview(const std::string &, std::int32_t, std::vector<std::uint8_t> &rgb, std::int32_t &width,
                         std::int32_t &height, std::string &) override
    {
        rgb.assign(256 * 144 * 3, 128);
        return width = 256, height = 144, 0;
    }
    std::string script()
    {
        std::lock_guard lock(mutex);
        return lastScript;
    }

    std::mutex mutex;
    std::string lastScript, refuseWhen;
};

class PreviewTest : public WindowTest
{
protected:
    PreviewTest()
    {
        window->setPreviewSource(&source);
        addVideos(2);
    }
    // The window's preview uses the source to its end.
    ~PreviewTest() override { window.reset(); }
    QWidget *preview() const { return window->findChild<QWidget *>(QStringLiteral("PreviewWindow")); }
    template <typename W>
    W *part(const char *name) const { return preview()->findChild<W *>(QString::fromUtf8(name)); }
    // Waits (letting events run) until the picture shows what [wanted] says.
    static bool settles(const std::function<bool()> &wanted) { return QTest::qWaitFor(wanted, 3000); }
    bool showsPicture() const { return !part<QLabel>("PreviewPicture")->pixmap().isNull(); }

    FakePreviewSource source;
};

// It opens once from the list, follows the selection and the settings,
// shows the library's reason instead of a refused picture, and a run
// pauses it (the run's selection changes included) until it has ended.
TEST_F(PreviewTest, OpensOnceFollowsSelectionAndSettingsAndPausesDuringARun)
{
    source.refuseWhen = "Tweak(30,";
    window->selectJob(0);
    QAction *entry = list()->actions().value(0);
    ASSERT_TRUE(entry && entry->text() == QStringLiteral("Preview"));
    entry->trigger();
    ASSERT_NE(preview(), nullptr);
    EXPECT_TRUE(preview()->isVisible());
    ASSERT_TRUE(settles([&] { return showsPicture(); }));
    EXPECT_EQ(part<QLabel>("PreviewPicture")->pixmap().width(), 256);
    EXPECT_EQ(part<QSlider>("PreviewSlider")->maximum(), 99);
    EXPECT_EQ(part<QLabel>("PreviewFrames")->text(), QStringLiteral("Frame 1 of 100"));
    EXPECT_NE(source.script().find("v000.avi"), std::string::npos);

    part<QAbstractButton>("PreviewZoom2")->click();
    EXPECT_EQ(part<QLabel>("PreviewPicture")->pixmap().width(), 512);
    // Frame 45 at the default 15 fps is 3 s in.
    part<QSlider>("PreviewSlider")->setValue(45);
    EXPECT_TRUE(settles([&] { return part<QLabel>("PreviewTime")->text() == QStringLiteral("00:00:03"); }));

    window->selectJob(1);
    EXPECT_TRUE(settles([&] { return source.script().find("v001.avi") != std::string::npos; }));
    bar("HScrollHue")->setValue(30);
    EXPECT_TRUE(settles([&] { return part<QLabel>("PreviewPicture")->text().contains("cannot open the file"); }));
    EXPECT_FALSE(showsPicture());

    // A second way in brings up the same window.
    QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, list()->visualItemRect(list()->item(0)).center());
    EXPECT_EQ(window->findChildren<QWidget *>(QStringLiteral("PreviewWindow")).size(), 1);
    window->selectJob(0);
    EXPECT_TRUE(settles([&] { return showsPicture(); }));
    QString during;
    encoder.onPoll = [&](int, int poll) {
        if (poll == 1 && during.isEmpty())
            QTest::qWait(400), during = part<QLabel>("PreviewPicture")->text();
    };
    runBatch();
    EXPECT_TRUE(during.startsWith(QStringLiteral("Paused"))) << during.toStdString();
    EXPECT_TRUE(settles([&] { return !part<QLabel>("PreviewPicture")->text().startsWith(QStringLiteral("Paused")); }));
}

// A result is shown only when newer than the picture shown and made from
// the latest request's script; another frame of that script is not stale.
TEST(PreviewResults, AreShownOnlyWhenNewerAndOfTheLatestScript)
{
    core::ScriptRequest latest;
    latest.videoPath = "a.avi";
    core::ScriptRequest changed = latest;
    changed.shown.hue = 30;
    core::ScriptRequest other = latest;
    other.videoPath = "b.avi";
    const std::tuple<std::uint64_t, core::ScriptRequest, bool> cases[] = {
        {5, latest, true}, {3, latest, false}, {4, latest, false}, {5, changed, false}, {5, other, false}};
    for (const auto &[serial, job, shown] : cases) {
        core::PreviewResult result;
        result.serial = serial;
        result.job = job;
        EXPECT_EQ(core::showsLatest(result, 4, latest), shown) << serial << " " << job.videoPath;
    }
}

} // namespace
