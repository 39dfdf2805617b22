#pragma once

// The main window's rules that need no widgets: message texts, file filters,
// folder paths, the logo style's recorded form, and the add sequence.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace core {

inline constexpr const char *kWindowCaption = "Korvane Velmora Converter V1.00";
// Title of the boxes the window shows without a title of their own.
inline constexpr const char *kProgramName = "Korvane Velmora Converter";

inline constexpr const char *kErrorTitle = "An Error has occurred";
inline constexpr const char *kNotSupportedText = "This format is not supported. Cannot add.";
inline constexpr const char *kOpenFileTitle = "Open File";

// Output folder chooser.
inline constexpr const char *kChooserCaption = "Output Directory Setting";
inline constexpr const char *kCannotLoadDriveText = "Cannot load driver.";
inline constexpr const char *kOpenErrorTitle = "Open Error";
inline constexpr const char *kCreateFolderTitle = "Create Folder";
inline constexpr const char *kCannotCreateFolderText = "Cannot create folder.";
inline constexpr const char *kCreateFolderErrorTitle = "Create Folder Error";

// File-open filters, in the common-dialog form "description|patterns|...".
inline constexpr const char *kVideoFilter =
    "Video(*.rm;*.rmvb;*.vob;*.avi;*.mov;*.wmv;*.asf;*.dat;*.mpg;*.mpeg)|*.rm;*.rmvb;*.vob;*.avi;*.mov;*.wmv;*.asf;"
    "*.dat;*.mpg;*.mpeg|All Files (*.*)|*.*";
inline constexpr const char *kAudioFilter =
    "Audio(*.wav;*.mp3;*.mp2;*.ac3;*.ogg;*.avi;*.mpg;*.mpeg)|*.wav;*.mp3;*.mp2;*.ac3;*.ogg;*.avi;*.mpg;*.mpeg|"
    "All Files (*.*)|*.*";
inline constexpr const char *kSubtitleFilter =
    "Subtitle(*.sub;*.srt;*.ssa;*.ass)|*.sub;*.srt;*.ssa;*.ass|All Files (*.*)|*.*";
inline constexpr const char *kImageFilter =
    "Image(*.jpg;*.bmp;*.gif;*.tga;*.tiff;*.png;*.pcd;*.pcx;*.pic;*.pct)|*.bmp;*.jpg;*.gif;*.tga;*.tiff;*.png;*.pcd;"
    "*.pcx;*.pic;*.pct|All Files (*.*)|*.*";

// "Cannot add the file 'x'..." for a single chosen file.
std::string cannotAddFileText(std::string_view title);
// "Cannot add input files. Either'x' and others..." for the first failing file
// of several.
std::string cannotAddFilesText(std::string_view name);

// A common-dialog filter in Qt's syntax: each "description|patterns" pair
// becomes "description (p1 p2)", pairs joined by ";;". "*.*" becomes "*", so
// that files without an extension are listed too.
std::string qtFileFilter(std::string_view commonDialogFilter);

// [path] ending in "/" (a "/" is appended when it does not end in one).
std::string withTrailingSlash(std::string path);

// The folder [name] inside [parent], with exactly one "/" between them.
std::string childFolderPath(std::string_view parent, std::string_view name);

// True for a name that makes one folder directly inside its parent: not
// empty, no "/" or NUL, not "." or "..".
bool isPlainFolderName(std::string_view name);

// The prompt of the "Create Folder" input box.
std::string newFolderPrompt(std::string_view currentFolder);

// The logo font size as a job records it: the nearest whole number, halves to
// the even neighbour (10.5 -> 10, 11.5 -> 12).
std::int32_t recordedFontSize(double points);

// Colours as the logo records them: 0x00BBGGRR, red in the low byte.
std::int32_t packColour(int red, int green, int blue);
struct Rgb
{
    int red = 0;
    int green = 0;
    int blue = 0;
};
Rgb unpackColour(std::int32_t colour);

// Why [name] cannot name a preset file (empty when it can): it must have a
// character that is not a blank, hold no "/" or NUL, not be "." or "..", and
// fit a file name.
std::string presetNameProblem(std::string_view name);

// The add sequence for the files chosen in one go. Each file is probed in
// turn (off the window's thread) and added when it has a length. One file:
// the "Cannot add the file" message when it is refused. Several: only the
// first refused file gets the "Cannot add input files" message. A refusal
// with a reason (the library's, or the helper's failure) carries it on a
// line of its own.
class AddSequence
{
public:
    explicit AddSequence(std::vector<std::string> paths);

    bool done() const { return m_next >= m_paths.size(); }
    // The file to probe next; done() must be false.
    const std::string &next() const { return m_paths[m_next]; }
    // The next file measured [length] seconds (0 refuses it, [reason] may say
    // why); moves on. The message to show, or empty.
    std::string probed(std::int32_t length, const std::string &reason);
    // Where the next add starts: the last file's folder ("" with no files).
    std::string folder() const;

private:
    std::vector<std::string> m_paths;
    std::size_t m_next = 0;
    bool m_reported = false;
};

} // namespace core
