// The output folder chooser: start folder, OK and Cancel, New... and its
// messages.

#include "support/fake_prompter.h"
#include "support/scratch.h"
#include "ui/folder_chooser.h"

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
    static void press(ui::FolderChooser &chooser, const char *name)
    {
        chooser.findChild<QPushButton *>(QString::fromLatin1(name))->click();
    }
    void expectOneError(const char *text, const char *title) const
    {
        ASSERT_EQ(prompter.messages.size(), 1u);
        EXPECT_EQ(std::tuple(prompter.messages[0].text, prompter.messages[0].title, prompter.messages[0].icon),
                  std::tuple(QString::fromLatin1(text), QString::fromLatin1(title), ui::MessageIcon::Error));
    }

    const support::fs::path folder = support::scratchFolder();
    support::FakePrompter prompter;
};

// On its start folder with that folder's drive; OK takes the folder shown,
// Cancel keeps the start. A missing start falls back to the root with a
// message.
TEST_F(FolderChooserTest, OpensOnTheStartFolderOrTheRootAndOkTakesTheShownFolder)
{
    QDir(root()).mkdir(QStringLiteral("video"));
    for (const auto &[button, result, chosen] : {std::tuple{"Command1", QDialog::Accepted, QStringLiteral("/video")},
                                                 {"Command2", QDialog::Rejected, QString()}}) {
        ui::FolderChooser chooser(prompter, root());
        EXPECT_EQ(chooser.windowTitle(), QStringLiteral("Output Directory Setting"));
        EXPECT_EQ(chooser.currentFolder(), root());
        EXPECT_TRUE(root().startsWith(chooser.currentDrive()));
        EXPECT_FALSE(chooser.findChild<QListWidget *>(QStringLiteral("Dir1"))->findItems(QStringLiteral("video"), Qt::MatchExactly).isEmpty());
        ASSERT_TRUE(chooser.showFolder(root() + QStringLiteral("/video")));
        press(chooser, button);
        EXPECT_EQ(chooser.result(), result);
        EXPECT_EQ(chooser.chosenFolder(), root() + chosen);
    }
    EXPECT_TRUE(prompter.messages.empty());
    ui::FolderChooser chooser(prompter, root() + QStringLiteral("/gone"));
    expectOneError("Cannot load driver.", "Open Error");
    EXPECT_EQ(std::pair(chooser.currentFolder(), chooser.currentDrive()), std::pair(QStringLiteral("/"), QStringLiteral("/")));
}

// New asks for a name in the shown folder. A plain new name is created and
// shown; no name: nothing happens; a name taken or not plain: a message,
// and the chooser stays where it was.
TEST_F(FolderChooserTest, NewCreatesAPlainNewNameAndShowsIt)
{
    QDir(root()).mkdir(QStringLiteral("taken"));
    for (const QString &name : {QStringLiteral("clips"), QString(), QStringLiteral("taken"), QStringLiteral("a/b"),
                                QStringLiteral("..")}) {
        SCOPED_TRACE(name.toStdString());
        prompter.messages.clear();
        prompter.inputRequests.clear();
        ui::FolderChooser chooser(prompter, root());
        prompter.inputAnswers.push_back(name);
        press(chooser, "Command3");
        const QString prompt = QStringLiteral("Current folder:\n\n") + root() + QStringLiteral("\n\nPlease enter a folder name:");
        EXPECT_EQ(prompter.inputRequests, (std::vector{std::pair(QStringLiteral("Create Folder"), prompt)}));
        const bool made = name == QStringLiteral("clips");
        EXPECT_EQ(chooser.currentFolder(), made ? root() + QStringLiteral("/clips") : root());
        if (name.isEmpty() || made)
            EXPECT_TRUE(prompter.messages.empty());
        else
            expectOneError("Cannot create folder.", "Create Folder Error");
    }
    EXPECT_TRUE(QFileInfo(root() + QStringLiteral("/clips")).isDir());
    EXPECT_FALSE(QFileInfo::exists(root() + QStringLiteral("/a")));
}

} // namespace
