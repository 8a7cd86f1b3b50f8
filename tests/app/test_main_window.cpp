#include "app/MainWindow.h"
#include "app/SwedishTranslations.h"
#include "net/ServerRole.h"
#include "tests/support/ScriptedDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

namespace {

// The real window with scripted dialogs, on a volume whose root lists one file, so any
// absolute answer to the download-folder question is accepted.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(volume.isValid());
        QFile file(volume.filePath(QStringLiteral("låt.mp3")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    DownloadFolderRule rule() const
    {
        const QString root = volume.path();
        return DownloadFolderRule(QStringLiteral("/home/anna"), [root](const QString &) { return root; });
    }

    QTemporaryDir volume;
    ScriptedDialogs dialogs;
};

} // namespace

TEST_F(MainWindowTest, OpensSmallWithBothRolesOffOnTheDefaultPort)
{
    MainWindow window(dialogs, rule());
    dialogs.then(QStringLiteral("~/Musik"));
    ASSERT_TRUE(window.Form_Load());
    window.show();

    EXPECT_EQ(window.downloadFolder(), QStringLiteral("/home/anna/Musik/"));
    EXPECT_TRUE(window.windowTitle().startsWith(QStringLiteral("Tunvero")));
    EXPECT_EQ(window.size(), QSize(272, 98));
    EXPECT_FALSE(window.session().isServer() || window.serverRole().isListening());

    const WindowControls &c = window.controls();
    for (QWidget *w : std::vector<QWidget *>{c.lstFiles, c.dirFiles, c.cmdAdd, c.txtDirectorys, c.cmdSavePlaylist,
                                             c.cmdStartPlay, c.lstFilesPlay})
        EXPECT_FALSE(w->isVisibleTo(&window)) << w->metaObject()->className();
    EXPECT_FALSE(c.cmdServer->isEnabled() || c.cmdClient->isEnabled());
    EXPECT_EQ(c.cmdServer->text(), QStringLiteral("Starta"));
    EXPECT_EQ(c.cmdClient->text(), QStringLiteral("Anslut"));
    EXPECT_TRUE(c.tmrDoEvents->isActive());

    EXPECT_EQ(window.session().port(), 49931);
    ASSERT_EQ(c.cmbPort->count(), 21);
    EXPECT_EQ(c.cmbPort->itemText(0), QStringLiteral("49931"));
    EXPECT_EQ(c.cmbPort->itemText(20), QStringLiteral("49951"));
    EXPECT_EQ(c.cmbPort->currentText(), QStringLiteral("49931"));

    // The client box is wired.
    c.chkClient->setChecked(true);
    EXPECT_TRUE(c.cmdClient->isEnabled());
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
    EXPECT_EQ(window.size(), QSize(641, 426));
    EXPECT_TRUE(c.lstFiles->isVisibleTo(&window) && c.cmdAdd->isVisibleTo(&window));

    // The panel reaches the window's layouts.
    window.playlist().Add(QStringLiteral("/musik/låt.mp3"), QStringLiteral("/musik/låt.mp3"));
    QTest::mouseClick(c.lstFiles->viewport(), Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_TRUE(window.layouts().isPlaylistEnlarged());

    dialogs.then(DialogAnswer::No);
    EXPECT_FALSE(window.Form_Unload());
    EXPECT_TRUE(c.chkServer->isChecked());
    dialogs.then(DialogAnswer::Yes);
    EXPECT_TRUE(window.Form_Unload());
    EXPECT_FALSE(c.chkServer->isChecked() || window.serverRole().isListening());
    EXPECT_EQ(dialogs.unanswered(), 0u);
}

TEST_F(MainWindowTest, EndsWhenNoFolderIsGivenAndClosesAtOnceWithNoRoleOn)
{
    MainWindow declined(dialogs, rule());
    dialogs.then(QString());
    EXPECT_FALSE(declined.Form_Load());

    MainWindow window(dialogs, rule());
    dialogs.then(QStringLiteral("/data/"));
    ASSERT_TRUE(window.Form_Load());
    window.show();
    EXPECT_TRUE(window.close());
    EXPECT_EQ(dialogs.shown().size(), 2u);
}

TEST(SwedishTranslations, StandardButtonsSpeakSwedish)
{
    ASSERT_TRUE(installSwedishTranslations(*qApp));
    QMessageBox box(QMessageBox::Question, QStringLiteral("t"), QStringLiteral("x"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text().remove(QLatin1Char('&')), QStringLiteral("Ja"));
    EXPECT_EQ(box.button(QMessageBox::No)->text().remove(QLatin1Char('&')), QStringLiteral("Nej"));
    EXPECT_EQ(box.button(QMessageBox::Ok)->text().remove(QLatin1Char('&')), QStringLiteral("OK"));
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text().remove(QLatin1Char('&')), QStringLiteral("Avbryt"));
}
