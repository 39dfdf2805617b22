#include "e2e_support.h"

#include "kvx_reader.h"

#include <QUuid>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <span>

namespace e2e {

std::string run(const std::string &command, bool *ok)
{
    std::string text;
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        if (ok != nullptr)
            *ok = false;
        return text;
    }
    std::array<char, 512> buffer{};
    while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
        text.append(buffer.data(), n);
    const int status = pclose(pipe);
    if (ok != nullptr)
        *ok = status == 0;
    return text;
}

std::string quoted(const fs::path &path)
{
    return "'" + path.string() + "'";
}

std::vector<std::uint8_t> readAll(const fs::path &file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::set<std::string> namesIn(const fs::path &folder)
{
    std::set<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

::testing::AssertionResult isCompleteKvx(const fs::path &file)
{
    const std::vector<std::uint8_t> bytes = readAll(file);
    if (bytes.size() <= kvx::kHeaderBytes)
        return ::testing::AssertionFailure() << file << " has " << bytes.size() << " bytes";
    const kvx::Header header =
        kvx::decodeHeader(std::span<const std::uint8_t, kvx::kHeaderBytes>(bytes.data(), kvx::kHeaderBytes));
    if (std::string(header.magic.begin(), header.magic.end()) != "KVX0")
        return ::testing::AssertionFailure() << file << " does not start with KVX0";
    if (const auto problems = kvx::layoutProblems(header, bytes.size()); !problems.empty())
        return ::testing::AssertionFailure() << file << ": " << problems.front();
    if (header.audioLength == 0 || header.videoLength == 0)
        return ::testing::AssertionFailure() << file << " lacks a stream";
    if (bytes.size() != kvx::kHeaderBytes + header.audioLength + header.videoLength)
        return ::testing::AssertionFailure() << file << " is " << bytes.size() << " bytes, its header says "
                                             << kvx::kHeaderBytes + header.audioLength + header.videoLength;
    return ::testing::AssertionSuccess();
}

EndToEnd::EndToEnd()
    : root(fs::path(VELMORA_TEST_TMP) / ("e2e-" + QUuid::createUuid().toString(QUuid::Id128).toStdString()))
    , program(root / "program")
    , media(root / "media")
    , out(root / "out")
{
    for (const fs::path &folder : {program, media, out})
        fs::create_directories(folder);
    fs::create_symlink(TARVIK_LIBRARY_PATH, program / "libTarvikDll.so");
}

EndToEnd::~EndToEnd()
{
    std::error_code ignored;
    fs::remove_all(root, ignored);
}

fs::path EndToEnd::make(const std::string &name, const std::string &inputs)
{
    const fs::path file = media / name;
    bool ok = false;
    run("ffmpeg -nostdin -v error -y " + inputs + " " + quoted(file) + " 2>&1", &ok);
    EXPECT_TRUE(ok && fs::exists(file)) << "ffmpeg could not make " << name;
    return file;
}

} // namespace e2e
