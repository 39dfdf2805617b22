#include "settings/settings_schema.h"

namespace settings {

std::string outputFolderDefault(std::string_view homeFolder)
{
    std::string folder(homeFolder);
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

std::string_view defaultText(const SettingKey &key, std::string_view outputFolder)
{
    return key.kind == ValueKind::OutputFolder ? outputFolder : key.defaultValue;
}

const SettingKey *findSettingKey(std::string_view key)
{
    for (const SettingKey &row : kSettingKeys) {
        if (row.key == key)
            return &row;
    }
    return nullptr;
}

} // namespace settings
