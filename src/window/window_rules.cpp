#include "window/window_rules.h"

#include "jobs/job_list.h"

#include <cmath>
#include <utility>
#include <vector>

namespace core {

namespace {

std::vector<std::string_view> split(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    std::size_t from = 0;
    while (true) {
        const auto cut = text.find(separator, from);
        if (cut == std::string_view::npos) {
            parts.push_back(text.substr(from));
            return parts;
        }
        parts.push_back(text.substr(from, cut - from));
        from = cut + 1;
    }
}

} // namespace

std::string cannotAddFileText(std::string_view title)
{
    return "Cannot add the file '" + std::string(title)
           + "'. Either this file is not a valid video file or the Converter does not support the file format.";
}

std::string cannotAddFilesText(std::string_view name)
{
    // The missing blank after "Either" is part of the message as users know it.
    return "Cannot add input files. Either'" + std::string(name)
           + "' and others are not valid video files or Converter does not support the file format.";
}

std::string qtFileFilter(std::string_view commonDialogFilter)
{
    const auto parts = split(commonDialogFilter, '|');
    std::string result;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::string patterns;
        for (const auto pattern : split(parts[i + 1], ';')) {
            if (pattern.empty())
                continue;
            if (!patterns.empty())
                patterns += ' ';
            patterns += pattern == "*.*" ? std::string("*") : std::string(pattern);
        }
        if (!result.empty())
            result += ";;";
        result += std::string(parts[i]) + " (" + patterns + ")";
    }
    return result;
}

std::string withTrailingSlash(std::string path)
{
    if (path.empty() || path.back() != '/')
        path += '/';
    return path;
}

std::string childFolderPath(std::string_view parent, std::string_view name)
{
    std::string path(parent);
    if (path.empty() || path.back() != '/')
        path += '/';
    return path + std::string(name);
}

bool isPlainFolderName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos
           && name.find('\0') == std::string_view::npos;
}

std::string newFolderPrompt(std::string_view currentFolder)
{
    return "Current folder:\n\n" + std::string(currentFolder) + "\n\nPlease enter a folder name:";
}

std::int32_t recordedFontSize(double points)
{
    // nearbyint rounds in the default mode, to nearest with halves to even.
    return static_cast<std::int32_t>(std::nearbyint(points));
}

std::int32_t packColour(int red, int green, int blue)
{
    return static_cast<std::int32_t>((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16));
}

Rgb unpackColour(std::int32_t colour)
{
    return Rgb{colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF};
}

std::string presetNameProblem(std::string_view name)
{
    const std::string quoted = "\"" + std::string(name) + "\"";
    if (name.find_first_not_of(" \t") == std::string_view::npos)
        return "A preset needs a name.";
    if (name.find('/') != std::string_view::npos || name.find('\0') != std::string_view::npos)
        return "The name " + quoted + " cannot be a file name: it holds a \"/\". Choose a name without one.";
    if (name == "." || name == "..")
        return "The name " + quoted + " cannot be a file name. Choose another.";
    if (name.size() > 200)
        return "The name is too long for a file name (" + std::to_string(name.size()) + " bytes; at most 200).";
    return {};
}

AddSequence::AddSequence(std::vector<std::string> paths) : m_paths(std::move(paths)) {}

std::string AddSequence::probed(std::int32_t length, const std::string &reason)
{
    const std::string title = fileTitle(m_paths[m_next++]);
    if (length != 0)
        return {};
    std::string text;
    if (m_paths.size() == 1)
        text = cannotAddFileText(title);
    else if (!std::exchange(m_reported, true))
        text = cannotAddFilesText(title);
    else
        return {};
    return reason.empty() ? text : text + "\n\n" + reason;
}

std::string AddSequence::folder() const
{
    return m_paths.empty() ? std::string() : fileFolder(m_paths.back());
}

} // namespace core
