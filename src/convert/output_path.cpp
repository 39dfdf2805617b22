#include "convert/output_path.h"

namespace core {

std::string outputPathFor(std::string_view title, std::string_view outputFolder)
{
    const std::size_t lastSeparator = title.rfind('/');
    std::string_view name = lastSeparator == std::string_view::npos ? title : title.substr(lastSeparator + 1);

    const std::size_t lastDot = name.rfind('.');
    std::string path(outputFolder);
    if (!path.empty() && path.back() != '/')
        path += '/';
    if (lastDot == std::string_view::npos) {
        path += name;
        path += ".kvx";
    } else {
        path += name.substr(0, lastDot + 1);
        path += "kvx";
    }
    return path;
}

} // namespace core
