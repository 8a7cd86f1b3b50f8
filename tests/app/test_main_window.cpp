#include "app/MainWindow.h"
#include "app/SwedishTranslations.h"
#include "net/ServerRole.h"
#include "tests/support/ScriptedDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// The real window with scripted dialogs, on a volume whose root lists one file, so any
// absolute answer to the download-folder question is accepted.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(QFile(volume.filePath(QStringLiteral("låt.mp3"))).open(QIODevice::WriteOnly)); }

    DownloadFolderRule rule() const
    {
        return DownloadFolderRule(QStringLiteral("/home/anna"),
                                  [root = volume.path()](const QString &) { return root; });
    }

    QTemporaryDir volume;
    ScriptedDialogs dialogs;
};

} // namespace

TEST_F(MainWindowTest, OpensWithBothRolesOffOnTheDefaultPortAndEndsWithoutAFolder)
{
    MainWindow declined(dialogs, rule());
    dialogs.then(QString());
    EXPECT_FALSE(declined.Form_Load());

    MainWindow window(dialogs, rule());
    dialogs.then(QStringLiteral("~/Musik"));
    ASSERT_TRUE(window.Form_Load());
    window.show();
    EXPECT_EQ(window.downloadFolder(), QStringLiteral("/home/anna/Musik/"));
    const WindowControls &c = window.controls();
    EXPECT_FALSE(window.serverRole().isListening() || c.lstFiles->isVisibleTo(&window));
    EXPECT_FALSE(c.cmdServer->isEnabled() || c.cmdClient->isEnabled());
    EXPECT_EQ(window.session().port(), 49931);
    ASSERT_EQ(c.cmbPort->count(), 21);
    EXPECT_EQ(c.cmbPort->itemText(20), QStringLiteral("49951"));
    EXPECT_EQ(c.cmbPort->currentText(), QStringLiteral("49931"));
    c.chkClient->setChecked(true);
    EXPECT_TRUE(c.cmdClient->isEnabled());

    // With no role on, closing asks nothing.
    c.chkClient->setChecked(false);
    EXPECT_TRUE(window.close());
    EXPECT_EQ(dialogs.shown().size(), 2u);
}

TEST_F(MainWindowTest, TheServerRoleShowsThePlaylistWhoseChangesTheShutdownAsksAbout)
{
    MainWindow window(dialogs, rule());
    dialogs.then(QStringLiteral("/data/"));
    ASSERT_TRUE(window.Form_Load());
    window.show();
    const WindowControls &c = window.controls();
    window.serverRole().setListenAddress(QHostAddress::LocalHost);
    window.session().setPort(0);
    c.chkServer->setChecked(true);
    ASSERT_TRUE(window.serverRole().isListening());
    EXPECT_TRUE(c.lstFiles->isVisibleTo(&window));

    // The panel reaches the window's layouts.
    window.playlist().Add(QStringLiteral("/musik/låt.mp3"), QStringLiteral("/musik/låt.mp3"));
    QTest::mouseClick(c.lstFiles->viewport(), Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_TRUE(window.layouts().isPlaylistEnlarged());

    dialogs.then(DialogAnswer::No);
    EXPECT_FALSE(window.Form_Unload());
    EXPECT_TRUE(c.chkServer->isChecked());
    dialogs.then(DialogAnswer::Yes);
    EXPECT_TRUE(window.Form_Unload());
    EXPECT_FALSE(window.serverRole().isListening());
    EXPECT_EQ(dialogs.unanswered(), 0u);
}

TEST(SwedishTranslations, StandardButtonsSpeakSwedish)
{
    ASSERT_TRUE(installSwedishTranslations(*qApp));
    QMessageBox box(QMessageBox::Question, QStringLiteral("t"), QStringLiteral("x"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text().remove(QLatin1Char('&')), QStringLiteral("Ja"));
    EXPECT_EQ(box.button(QMessageBox::No)->text().remove(QLatin1Char('&')), QStringLiteral("Nej"));
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text().remove(QLatin1Char('&')), QStringLiteral("Avbryt"));
}
