// The window's start-up state of the roles and the port, and the role boxes wired in it.
#include "app/MainWindow.h"
#include "net/ServerRole.h"
#include "tests/support/ScriptedDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(MainWindowRoles, StartsWithBothRolesOffOnTheDefaultPort)
{
    QTemporaryDir volume;
    ASSERT_TRUE(volume.isValid());
    QFile file(volume.filePath(QStringLiteral("låt.mp3")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const QString root = volume.path();
    ScriptedDialogs dialogs;
    MainWindow window(dialogs, DownloadFolderRule(QStringLiteral("/home/anna"), [root](const QString &) { return root; }));
    dialogs.then(QStringLiteral("~/Musik"));
    ASSERT_TRUE(window.Form_Load());

    const WindowControls &c = window.controls();
    EXPECT_EQ(window.port(), 49931);
    EXPECT_EQ(window.serverRole().LastClientIndex, 0);
    EXPECT_FALSE(window.serverRole().isListening());
    EXPECT_FALSE(window.isServer());
    EXPECT_EQ(c.cmbPort->count(), 21);
    EXPECT_EQ(c.cmbPort->currentText(), QStringLiteral("49931"));
    EXPECT_FALSE(c.cmdClient->isEnabled());
    EXPECT_EQ(c.cmdClient->text(), QStringLiteral("Anslut"));
    EXPECT_FALSE(c.cmdServer->isEnabled());
    const QSize small = window.size();

    c.chkClient->setChecked(true);
    EXPECT_TRUE(c.cmdClient->isEnabled());
    dialogs.then(DialogAnswer::No);
    c.chkServer->setChecked(true);
    EXPECT_EQ(dialogs.last().message.title, QStringLiteral("Både och?"));
    EXPECT_FALSE(c.chkServer->isChecked());
    EXPECT_FALSE(window.isServer());
    EXPECT_FALSE(window.serverRole().isListening());
    EXPECT_EQ(window.size(), small);

    c.chkClient->setChecked(false);
    EXPECT_FALSE(c.cmdClient->isEnabled());
}

} // namespace
