// The library binding: a missing library or entry point is reported once
// and every call fails the way a polling caller stops on. (The real library
// answers through it in the end-to-end tests.)

#include "support/scratch.h"
#include "ui/dll_encoder.h"

#include <QFile>
#include <QLibraryInfo>

#include <gtest/gtest.h>

namespace {

class DllEncoder : public ::testing::Test
{
protected:
    ui::DllEncoder &binding(const QString &library = {})
    {
        if (!library.isEmpty()) {
            EXPECT_TRUE(QFile::copy(library, ui::DllEncoder::libraryPath(folder)));
        }
        m_encoder = std::make_unique<ui::DllEncoder>(folder, [this](const std::string &m) { reports.push_back(m); });
        return *m_encoder;
    }

    const QString folder = QString::fromStdString(support::scratchFolder().string());
    std::vector<std::string> reports;

private:
    std::unique_ptr<ui::DllEncoder> m_encoder;
};

TEST_F(DllEncoder, AMissingLibraryIsReportedOnceAndEveryCallFails)
{
    ui::DllEncoder &encoder = binding();
    EXPECT_EQ(encoder.end(), 0); // exit ends unconditionally: no complaint before any use
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(encoder.getFrame("/x/temp.avs"), 0);
    EXPECT_EQ(std::tuple(encoder.begin("a", "b", 1, 2, 3, 1, 0), encoder.frame(), encoder.encoding(), encoder.leftTime(),
                         encoder.end()),
              std::tuple(-1, 0, 100, 0, -1));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find(ui::DllEncoder::libraryPath(folder).toStdString()), std::string::npos) << reports[0];
    EXPECT_EQ(encoder.lastError(), reports[0]);
}

TEST_F(DllEncoder, ALibraryWithoutTheEntryPointsNamesTheMissingOne)
{
    // Any shared library without the encoder's entry points will do.
    const QString other = QLibraryInfo::path(QLibraryInfo::LibrariesPath) + QStringLiteral("/libQt6Test.so.6");
    if (!QFile::exists(other))
        GTEST_SKIP() << "no stand-in library at " << other.toStdString();
    EXPECT_EQ(binding(other).getFrame("/x/temp.avs"), 0);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("\"Encode_Begin\""), std::string::npos) << reports[0];
}

} // namespace
