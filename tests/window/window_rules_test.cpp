// The window's rules that need no widgets.

#include "window/window_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

namespace {

TEST(WindowRules, FiltersBecomeQtSyntax)
{
    EXPECT_EQ(core::qtFileFilter(core::kSubtitleFilter),
              "Subtitle(*.sub;*.srt;*.ssa;*.ass) (*.sub *.srt *.ssa *.ass);;All Files (*.*) (*)");
    // The image filter's patterns, not its description, decide what is listed.
    EXPECT_EQ(core::qtFileFilter(core::kImageFilter),
              "Image(*.jpg;*.bmp;*.gif;*.tga;*.tiff;*.png;*.pcd;*.pcx;*.pic;*.pct) "
              "(*.bmp *.jpg *.gif *.tga *.tiff *.png *.pcd *.pcx *.pic *.pct);;All Files (*.*) (*)");
    EXPECT_EQ(core::qtFileFilter("Odd|*.a;;*.b|Unpaired"), "Odd (*.a *.b)");
}

// A child folder has one slash before it; a folder the user typed ends in
// one slash; a new folder's name is one plain name.
TEST(WindowRules, FolderPathsHaveOneSlashBetween)
{
    for (const auto &[parent, child] : {std::pair{"/", "/clips"}, {"/data/video", "/data/video/clips"}, {"/data/video/", "/data/video/clips"}})
        EXPECT_EQ(core::childFolderPath(parent, "clips"), child) << parent;
    for (const auto &[typed, folder] : {std::pair{"/data/video", "/data/video/"}, {"/data/video/", "/data/video/"}, {"/", "/"}, {"", "/"}})
        EXPECT_EQ(core::withTrailingSlash(typed), folder) << typed;
    EXPECT_TRUE(core::isPlainFolderName("clips") && core::isPlainFolderName("my clips.2"));
    using namespace std::string_literals;
    for (const std::string &name : {""s, "."s, ".."s, "a/b"s, "/abs"s, "a\0b"s})
        EXPECT_FALSE(core::isPlainFolderName(name)) << name;
}

TEST(WindowRules, FontSizeRoundsHalvesToEven)
{
    const std::vector<std::pair<double, std::int32_t>> cases = {
        {10.5, 10}, {11.5, 12}, {8.25, 8}, {8.75, 9}, {12.0, 12}, {0.5, 0}, {1.5, 2}};
    for (const auto &[points, whole] : cases)
        EXPECT_EQ(core::recordedFontSize(points), whole) << points;
}

TEST(WindowRules, ColourPacksRedLow)
{
    EXPECT_EQ(std::tuple(core::packColour(255, 0, 0), core::packColour(0, 255, 0), core::packColour(0, 0, 255)),
              std::tuple(255, 0xFF00, 0xFF0000));
    const core::Rgb rgb = core::unpackColour(0x563412);
    EXPECT_EQ(std::tuple(rgb.red, rgb.green, rgb.blue), std::tuple(0x12, 0x34, 0x56));
}

// The add sequence: files in order, the first refusal of several reported
// only, a single file's refusal in its own words, a reason on its own line.
TEST(AddSequence, AddsInOrderAndReportsTheFirstRefusal)
{
    struct Case
    {
        std::vector<std::string> paths, refused;
        std::string folder;
        std::vector<std::string> messages; // per file, in order
    };
    const std::string why = "The encoder stopped unexpectedly (segmentation fault).";
    const Case cases[] = {
        {{"/m/a.avi"}, {}, "/m/", {""}},
        {{"/m/a.avi"}, {"a.avi"}, "/m/", {core::cannotAddFileText("a.avi") + "\n\n" + why}},
        {{"/m/a.avi", "/n/b.avi", "/m/c.avi", "/o/d.avi"}, {"b.avi", "c.avi"}, "/o/",
         {"", core::cannotAddFilesText("b.avi") + "\n\n" + why, "", ""}},
        {{}, {}, "", {}}};
    for (const Case &c : cases) {
        core::AddSequence add(c.paths);
        std::vector<std::string> messages;
        for (std::size_t i = 0; !add.done(); ++i) {
            const bool bad = std::any_of(c.refused.begin(), c.refused.end(),
                                         [&](const std::string &name) { return add.next().ends_with(name); });
            EXPECT_EQ(add.next(), c.paths[i]);
            messages.push_back(add.probed(bad ? 0 : 60, bad ? why : std::string()));
        }
        EXPECT_EQ(messages, c.messages) << c.paths.size();
        EXPECT_EQ(add.folder(), c.folder);
    }
}

} // namespace
