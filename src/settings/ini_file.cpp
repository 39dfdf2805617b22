#include "settings/ini_file.h"

#include <cerrno>
#include <filesystem>
#include <random>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Plain bytes in and out: the file's text is passed through untouched, and no
// UTF conversion unit has to be linked. Debian's SimpleIni keeps its template
// bodies behind SI_IMPLEMENTATION; this file is their only user.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

namespace settings {

struct IniFile::Data
{
    // Case-insensitive names, one value per key, no quote or multi-line
    // processing: the private-profile rules.
    CSimpleIniA ini{false, false, false};
};

namespace {

// Owns a file descriptor for the length of one save.
class Fd final
{
public:
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd() { reset(); }
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes now so that the caller sees close()'s verdict.
    bool close()
    {
        const int fd = std::exchange(m_fd, -1);
        return fd < 0 || ::close(fd) == 0;
    }

private:
    void reset()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    int m_fd;
};

enum class ReadOutcome { Read, Missing, Failed };

ReadOutcome readWholeFile(const std::string &path, std::string &out)
{
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid())
        return errno == ENOENT ? ReadOutcome::Missing : ReadOutcome::Failed;
    char chunk[8192];
    for (;;) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n == 0)
            return ReadOutcome::Read;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return ReadOutcome::Failed;
        }
        out.append(chunk, static_cast<std::size_t>(n));
    }
}

bool writeAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Cuts to kMaxValueBytes without splitting a UTF-8 sequence.
std::string capped(std::string_view text)
{
    if (text.size() <= kMaxValueBytes)
        return std::string(text);
    std::size_t n = kMaxValueBytes;
    // Back off over continuation bytes (10xxxxxx) to the start of the
    // character that would be split; at most three of them in valid UTF-8.
    for (int i = 0; i < 3 && n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0u) == 0x80u; ++i)
        --n;
    return std::string(text.substr(0, n));
}

bool hasLineBreak(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

} // namespace

IniFile::IniFile(std::string path, std::unique_ptr<Data> data, bool writable)
    : m_path(std::move(path))
    , m_data(std::move(data))
    , m_writable(writable)
{
}

IniFile::IniFile(IniFile &&) noexcept = default;
IniFile &IniFile::operator=(IniFile &&) noexcept = default;
IniFile::~IniFile() = default;

IniFile IniFile::open(std::string path)
{
    auto data = std::make_unique<Data>();
    data->ini.SetSpaces(false);
    std::string text;
    bool writable = true;
    switch (readWholeFile(path, text)) {
    case ReadOutcome::Read:
        if (data->ini.LoadData(text) < 0) {
            data->ini.Reset();
            writable = false;
        }
        break;
    case ReadOutcome::Missing:
        break;
    case ReadOutcome::Failed:
        writable = false;
        break;
    }
    return IniFile(std::move(path), std::move(data), writable);
}

std::string IniFile::read(std::string_view section, std::string_view key, std::string_view defaultValue) const
{
    const std::string s(section);
    const std::string k(key);
    const char *value = m_data->ini.GetValue(s.c_str(), k.c_str(), nullptr);
    return capped(value ? std::string_view(value) : defaultValue);
}

bool IniFile::write(std::string_view section, std::string_view key, std::string_view value)
{
    if (hasLineBreak(section) || hasLineBreak(key) || hasLineBreak(value))
        return false;
    const std::string s(section);
    const std::string k(key);
    const std::string v(value);
    return m_data->ini.SetValue(s.c_str(), k.c_str(), v.c_str()) >= 0;
}

std::vector<std::pair<std::string, std::string>> IniFile::keys() const
{
    std::vector<std::pair<std::string, std::string>> all;
    CSimpleIniA::TNamesDepend sections;
    m_data->ini.GetAllSections(sections);
    sections.sort(CSimpleIniA::Entry::LoadOrder());
    for (const CSimpleIniA::Entry &section : sections) {
        CSimpleIniA::TNamesDepend keys;
        m_data->ini.GetAllKeys(section.pItem, keys);
        keys.sort(CSimpleIniA::Entry::LoadOrder());
        for (const CSimpleIniA::Entry &key : keys)
            all.emplace_back(section.pItem, key.pItem);
    }
    return all;
}

bool IniFile::commit() const
{
    if (!m_writable)
        return false;
    std::string text;
    if (m_data->ini.Save(text) < 0)
        return false;
    return replaceFileWhole(m_path, text);
}

bool replaceFileWhole(const std::string &path, std::string_view text)
{
    namespace fs = std::filesystem;
    const fs::path target(path);
    fs::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";

    // A fresh name beside the target: rename() only replaces atomically
    // within one file system.
    std::random_device random;
    std::string tempPath;
    int raw = -1;
    for (int attempt = 0; attempt < 16 && raw < 0; ++attempt) {
        tempPath = (folder / (target.filename().string() + ".tmp-" + std::to_string(random()))).string();
        raw = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (raw < 0 && errno != EEXIST)
            return false;
    }
    if (raw < 0)
        return false;
    Fd fd(raw);

    struct stat old {};
    // Keep the permissions a user gave the old file.
    const bool ok = (::stat(path.c_str(), &old) != 0 || ::fchmod(fd.get(), old.st_mode & 07777) == 0)
                    && writeAll(fd.get(), text) && ::fsync(fd.get()) == 0 && fd.close()
                    && ::rename(tempPath.c_str(), path.c_str()) == 0;
    if (!ok) {
        fd.close();
        ::unlink(tempPath.c_str());
        return false;
    }

    // Make the rename itself durable; the new file is complete either way, so
    // a failure here is not a failed save.
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid())
        ::fsync(dir.get());
    return true;
}

} // namespace settings
