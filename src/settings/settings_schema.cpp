#include "settings/settings_schema.h"

namespace settings {

std::string outputFolderDefault(std::string_view homeFolder)
{
    std::string folder(homeFolder);
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

std::string_view defaultText(const core::Control &key, std::string_view outputFolder)
{
    return key.kind == core::ValueKind::OutputFolder ? outputFolder : key.defaultText;
}

} // namespace settings
