// The library binding when the library or an entry point is missing.

#include "fakes.h"
#include "ui/dll_encoder.h"

#include <QDir>
#include <QFile>
#include <QLibraryInfo>

#include <gtest/gtest.h>

namespace test {
namespace {

TEST(DllEncoder, MissingLibraryIsReportedOnceAndEveryCallFails)
{
    TempFolder program;
    std::vector<std::string> reports;
    ui::DllEncoder encoder(program.path(), [&](const std::string &m) { reports.push_back(m); });

    EXPECT_EQ(encoder.getFrame("/x/temp.avs"), 0);
    EXPECT_EQ(encoder.begin("a", "b", 1, 2, 3, 1, 0), -1);
    EXPECT_EQ(encoder.frame(), 0);
    EXPECT_EQ(encoder.encoding(), 100); // a polling caller stops
    EXPECT_EQ(encoder.leftTime(), 0);
    EXPECT_EQ(encoder.end(), -1);

    ASSERT_EQ(reports.size(), 1u);
    const std::string file = QDir(program.path()).filePath(QStringLiteral("libTarvikDll.so")).toStdString();
    EXPECT_NE(reports[0].find(file), std::string::npos) << reports[0];
    EXPECT_EQ(encoder.lastError(), reports[0]);
}

TEST(DllEncoder, EndingBeforeAnyUseLoadsNothing)
{
    // Exit ends the encoder unconditionally; with no library there must be no
    // complaint on the way out.
    TempFolder program;
    std::vector<std::string> reports;
    ui::DllEncoder encoder(program.path(), [&](const std::string &m) { reports.push_back(m); });
    EXPECT_EQ(encoder.end(), 0);
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(encoder.begin("a", "b", 1, 2, 3, 1, 0), -1);
    EXPECT_EQ(reports.size(), 1u);
}

TEST(DllEncoder, LibraryWithoutTheEntryPointsNamesTheMissingOne)
{
    // Any shared library without the encoder's entry points will do.
    const QString other = QLibraryInfo::path(QLibraryInfo::LibrariesPath) + QStringLiteral("/libQt6Test.so.6");
    if (!QFile::exists(other))
        GTEST_SKIP() << "no stand-in library at " << other.toStdString();
    TempFolder program;
    ASSERT_TRUE(QFile::copy(other, ui::DllEncoder::libraryPath(program.path())));
    std::vector<std::string> reports;
    ui::DllEncoder encoder(program.path(), [&](const std::string &m) { reports.push_back(m); });

    EXPECT_EQ(encoder.getFrame("/x/temp.avs"), 0);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("\"Encode_Begin\""), std::string::npos) << reports[0];
    EXPECT_NE(reports[0].find("libTarvikDll.so"), std::string::npos);
}

#ifdef TARVIK_LIBRARY_PATH
TEST(DllEncoder, RealLibraryAnswersThroughTheBinding)
{
    TempFolder program;
    ASSERT_TRUE(QFile::copy(QStringLiteral(TARVIK_LIBRARY_PATH), ui::DllEncoder::libraryPath(program.path())));
    std::vector<std::string> reports;
    ui::DllEncoder encoder(program.path(), [&](const std::string &m) { reports.push_back(m); });

    // A script that does not exist measures 0, with the library's reason.
    const std::string missing = QDir(program.path()).filePath(QStringLiteral("nothing.avs")).toStdString();
    EXPECT_EQ(encoder.getFrame(missing), 0);
    EXPECT_FALSE(encoder.lastError().empty());
    EXPECT_EQ(encoder.end(), 0); // harmless with no pass open
    EXPECT_TRUE(reports.empty());
}
#endif

} // namespace
} // namespace test
