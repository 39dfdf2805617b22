// The output folder chooser: start folder, OK and Cancel, New... and its
// messages.

#include "support/fake_prompter.h"
#include "support/scratch.h"
#include "ui/folder_chooser.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

class FolderChooserTest : public ::testing::Test
{
protected:
    QString root() const { return QDir(QString::fromStdString(folder.string())).canonicalPath(); }
    QPushButton *button(ui::FolderChooser &chooser, const char *name) const
    {
        return chooser.findChild<QPushButton *>(QString::fromLatin1(name));
    }

    const support::fs::path folder = support::scratchFolder();
    support::FakePrompter prompter;
};

TEST_F(FolderChooserTest, OpensOnTheStartFolderWithItsDrive)
{
    QDir(root()).mkdir(QStringLiteral("sub"));
    ui::FolderChooser chooser(prompter, root());
    EXPECT_EQ(chooser.windowTitle(), QStringLiteral("Output Directory Setting"));
    EXPECT_EQ(chooser.currentFolder(), root());
    EXPECT_TRUE(root().startsWith(chooser.currentDrive()));
    EXPECT_TRUE(prompter.messages.empty());
    const auto *dir = chooser.findChild<QListWidget *>(QStringLiteral("Dir1"));
    ASSERT_NE(dir, nullptr);
    EXPECT_FALSE(dir->findItems(QStringLiteral("sub"), Qt::MatchExactly).isEmpty());
    EXPECT_NE(chooser.findChild<QComboBox *>(QStringLiteral("Drive1")), nullptr);
}

TEST_F(FolderChooserTest, MissingStartFolderFallsBackToTheRoot)
{
    ui::FolderChooser chooser(prompter, root() + QStringLiteral("/gone"));
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, QStringLiteral("Cannot load driver."));
    EXPECT_EQ(prompter.messages[0].title, QStringLiteral("Open Error"));
    EXPECT_EQ(prompter.messages[0].icon, ui::MessageIcon::Error);
    EXPECT_EQ(chooser.currentFolder(), QStringLiteral("/"));
    EXPECT_EQ(chooser.currentDrive(), QStringLiteral("/"));
}

TEST_F(FolderChooserTest, OkTakesTheShownFolderAndCancelKeepsTheStart)
{
    QDir(root()).mkdir(QStringLiteral("video"));
    {
        ui::FolderChooser chooser(prompter, root());
        ASSERT_TRUE(chooser.showFolder(root() + QStringLiteral("/video")));
        button(chooser, "Command1")->click();
        EXPECT_EQ(chooser.result(), QDialog::Accepted);
        EXPECT_EQ(chooser.chosenFolder(), root() + QStringLiteral("/video"));
    }
    {
        ui::FolderChooser chooser(prompter, root());
        chooser.showFolder(root() + QStringLiteral("/video"));
        button(chooser, "Command2")->click();
        EXPECT_EQ(chooser.result(), QDialog::Rejected);
        EXPECT_EQ(chooser.chosenFolder(), root());
    }
}

TEST_F(FolderChooserTest, NewCreatesTheFolderAndShowsIt)
{
    ui::FolderChooser chooser(prompter, root());
    prompter.inputAnswers.push_back(QStringLiteral("clips"));
    button(chooser, "Command3")->click();

    ASSERT_EQ(prompter.inputRequests.size(), 1u);
    EXPECT_EQ(prompter.inputRequests[0].first, QStringLiteral("Create Folder"));
    EXPECT_EQ(prompter.inputRequests[0].second,
              QStringLiteral("Current folder:\n\n") + root() + QStringLiteral("\n\nPlease enter a folder name:"));
    EXPECT_TRUE(QFileInfo(root() + QStringLiteral("/clips")).isDir());
    EXPECT_EQ(chooser.currentFolder(), root() + QStringLiteral("/clips"));
    EXPECT_TRUE(prompter.messages.empty());
}

struct RefusedName
{
    QString name;
    bool message;
};

class NewFolderRefusedTest : public FolderChooserTest, public ::testing::WithParamInterface<RefusedName>
{
};

TEST_P(NewFolderRefusedTest, StaysWhereItWas)
{
    QDir(root()).mkdir(QStringLiteral("taken"));
    ui::FolderChooser chooser(prompter, root());
    prompter.inputAnswers.push_back(GetParam().name);
    button(chooser, "Command3")->click();
    EXPECT_EQ(chooser.currentFolder(), root());
    if (GetParam().message) {
        ASSERT_EQ(prompter.messages.size(), 1u);
        EXPECT_EQ(prompter.messages[0].text, QStringLiteral("Cannot create folder."));
        EXPECT_EQ(prompter.messages[0].title, QStringLiteral("Create Folder Error"));
        EXPECT_EQ(prompter.messages[0].icon, ui::MessageIcon::Error);
    } else {
        EXPECT_TRUE(prompter.messages.empty());
    }
    EXPECT_FALSE(QFileInfo::exists(root() + QStringLiteral("/a")));
}

INSTANTIATE_TEST_SUITE_P(Names, NewFolderRefusedTest,
                         ::testing::Values(RefusedName{QString(), false}, RefusedName{QStringLiteral("taken"), true},
                                           RefusedName{QStringLiteral("a/b"), true},
                                           RefusedName{QStringLiteral(".."), true}));

} // namespace
