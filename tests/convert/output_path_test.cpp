#include "convert/output_path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct NamingCase
{
    const char *name;
    const char *title;
    const char *folder;
    const char *expected;
};

class OutputPath : public ::testing::TestWithParam<NamingCase>
{};

TEST_P(OutputPath, FolderPlusNameWithKvxExtension)
{
    EXPECT_EQ(core::outputPathFor(GetParam().title, GetParam().folder), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, OutputPath,
    ::testing::Values(NamingCase{"Plain", "clip.avi", "/out/", "/out/clip.kvx"},
                      NamingCase{"OnlyLastDotCounts", "movie.part1.avi", "/out/", "/out/movie.part1.kvx"},
                      NamingCase{"NoDotAppendsExtension", "movie", "/out/", "/out/movie.kvx"},
                      NamingCase{"DottedFolderIsNotCut", "movie", "/home/a.b/", "/home/a.b/movie.kvx"},
                      NamingCase{"TitleWithFolderKeepsName", "/media/in/clip.mp4", "/out/", "/out/clip.kvx"},
                      NamingCase{"FolderWithoutSeparator", "clip.avi", "/out", "/out/clip.kvx"},
                      NamingCase{"TrailingDot", "clip.", "/out/", "/out/clip.kvx"},
                      NamingCase{"BackslashIsPartOfTheName", "a\\b.avi", "/out/", "/out/a\\b.kvx"},
                      NamingCase{"NonAscii", "vidéo.été.mkv", "/sortie/", "/sortie/vidéo.été.kvx"},
                      NamingCase{"EmptyFolderIsRelative", "clip.avi", "", "clip.kvx"}),
    [](const auto &p) { return std::string(p.param.name); });

} // namespace
