#include "app/MainWindow.h"
#include "app/SwedishTranslations.h"
#include "net/ServerRole.h"
#include "tests/support/ScriptedDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(MainWindow, NeedsADownloadFolderAndAsksOnClosingAboutAServersChangedPlaylist)
{
    // A volume whose root lists one file, so any absolute folder answer is accepted.
    QTemporaryDir volume;
    ASSERT_TRUE(QFile(volume.filePath(QStringLiteral("låt.mp3"))).open(QIODevice::WriteOnly));
    const DownloadFolderRule rule(QStringLiteral("/home/anna"), [&](const QString &) { return volume.path(); });
    ScriptedDialogs dialogs;
    dialogs.then(QString()).then(QStringLiteral("/musik"));
    EXPECT_FALSE(MainWindow(dialogs, rule).Form_Load()); // no download folder, no program
    MainWindow window(dialogs, rule);
    ASSERT_TRUE(window.Form_Load());
    EXPECT_EQ(window.controls().cmbPort->currentText(), QStringLiteral("49931"));

    window.serverRole().setListenAddress(QHostAddress::LocalHost);
    window.session().setPort(0);
    window.controls().chkServer->setChecked(true);
    ASSERT_TRUE(window.serverRole().isListening());
    window.playlist().Add(QStringLiteral("/musik/låt.mp3"), QStringLiteral("/musik/låt.mp3"));
    dialogs.then(DialogAnswer::No).then(DialogAnswer::Yes);
    EXPECT_FALSE(window.Form_Unload());
    EXPECT_TRUE(window.Form_Unload());
    EXPECT_FALSE(window.serverRole().isListening());
    EXPECT_EQ(dialogs.unanswered(), 0u);
}

TEST(SwedishTranslations, StandardButtonsSpeakSwedish)
{
    ASSERT_TRUE(installSwedishTranslations(*qApp));
    QMessageBox box(QMessageBox::Question, QStringLiteral("t"), QStringLiteral("x"), QMessageBox::Yes);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text().remove(QLatin1Char('&')), QStringLiteral("Ja"));
}
