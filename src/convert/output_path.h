#pragma once

#include <string>
#include <string_view>

namespace core {

// The .kvx path for a job: the file name part of [title] (text after its last
// "/"), put behind [outputFolder], with the extension after the name's last
// "." replaced by "kvx"; a name without any "." gets ".kvx" appended.
// Only the name's own dots count, so a dotted folder is never cut into, and a
// folder text without a trailing "/" gets one.
// "/out/" + "movie.part1.avi" -> "/out/movie.part1.kvx".
std::string outputPathFor(std::string_view title, std::string_view outputFolder);

} // namespace core
