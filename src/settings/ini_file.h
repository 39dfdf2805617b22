#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace settings {

// The longest text a read gives back, in bytes. Longer stored values are cut
// here, the way a 256-byte reply buffer cuts them, but never in the middle of
// a UTF-8 sequence.
inline constexpr std::size_t kMaxValueBytes = 255;

// One private-profile (INI) file held in memory.
//
// Reading follows the private-profile rules: a missing file, section or key
// gives the caller's default; a key present with an empty value gives the
// empty text. Section and key names are matched without regard to ASCII case
// (as the platform's profile calls do); a key or section created by write()
// is spelled exactly as given, and new keys and sections keep the order in
// which they were first written. Spaces around "=" and around the value are
// dropped when reading; backslashes are ordinary characters.
//
// Nothing touches the disk until commit(), which writes the whole file anew:
// sections, keys and comments that the program does not know survive.
// Not thread-safe; one owner at a time.
// Writes [text] to [path] as a whole: under a fresh name beside it, flushed
// to disk, then renamed over it, so the old file stays whole until the new
// one is. A replaced file keeps its permissions. False (and [path]
// untouched, no temporary left) when any step fails.
bool replaceFileWhole(const std::string &path, std::string_view text);

class IniFile final
{
public:
    // Reads [path] if it exists. A missing file is an empty store. A file that
    // exists but cannot be read gives an empty store whose commit() refuses,
    // so the unread file is never replaced by a partial one.
    static IniFile open(std::string path);

    IniFile(IniFile &&) noexcept;
    IniFile &operator=(IniFile &&) noexcept;
    ~IniFile();

    const std::string &path() const { return m_path; }
    // The file exists but could not be read: the store is empty and commit()
    // refuses, so the caller can say that its defaults stand in for it.
    bool unread() const { return !m_writable; }

    // The stored text, or [defaultValue] when the section or key is missing;
    // either is cut to kMaxValueBytes.
    std::string read(std::string_view section, std::string_view key, std::string_view defaultValue) const;

    // Creates the section and the key when missing, otherwise replaces the
    // value where it stands. A value holding a line break is refused (false),
    // since it would end the line and plant text of its own in the file.
    bool write(std::string_view section, std::string_view key, std::string_view value);

    // Every (section, key) the store holds, in the file's order: what a
    // reader that takes only some keys tells the user it passed over.
    std::vector<std::pair<std::string, std::string>> keys() const;

    // Replaces the file on disk with the store's contents: the whole text goes
    // to a new file in the same folder, is flushed to the disk, and is then
    // renamed over the old one, so a crash or a full disk leaves either the
    // old file or the new one, never a damaged one. False when the file could
    // not be replaced; the old file is then untouched.
    bool commit() const;

private:
    struct Data;
    IniFile(std::string path, std::unique_ptr<Data> data, bool writable);

    std::string m_path;
    std::unique_ptr<Data> m_data;
    bool m_writable = true;
};

} // namespace settings
