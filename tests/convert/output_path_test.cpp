#include "convert/output_path.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

// Folder plus the title up to its last dot, with ".kvx".
TEST(OutputPath, FolderPlusNameWithKvxExtension)
{
    const std::tuple<const char *, const char *, const char *> cases[] = {
        {"clip.avi", "/out/", "/out/clip.kvx"},
        {"movie.part1.avi", "/out/", "/out/movie.part1.kvx"}, // only the last dot counts
        {"movie", "/out/", "/out/movie.kvx"},                 // no dot: appended
        {"movie", "/home/a.b/", "/home/a.b/movie.kvx"},       // a dotted folder is not cut
        {"/media/in/clip.mp4", "/out/", "/out/clip.kvx"},     // a title with a folder keeps its name
        {"clip.avi", "/out", "/out/clip.kvx"},
        {"clip.", "/out/", "/out/clip.kvx"},
        {"a\\b.avi", "/out/", "/out/a\\b.kvx"}, // a backslash is part of the name
        {"vidéo.été.mkv", "/sortie/", "/sortie/vidéo.été.kvx"},
        {"clip.avi", "", "clip.kvx"}}; // no folder: relative
    for (const auto &[title, folder, expected] : cases)
        EXPECT_EQ(core::outputPathFor(title, folder), expected) << title << " in " << folder;
}

} // namespace
