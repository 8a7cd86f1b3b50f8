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
    EXPECT_EQ(c.cmbPort->currentText(), QStringLiteral("49931"));
    EXPECT_FALSE(window.isServer() || window.serverRole().isListening() || c.cmdServer->isEnabled());
    EXPECT_FALSE(c.cmdClient->isEnabled());
    EXPECT_EQ(c.cmdClient->text(), QStringLiteral("Anslut"));

    // The boxes are wired.
    c.chkClient->setChecked(true);
    EXPECT_TRUE(c.cmdClient->isEnabled());
}

} // namespace
