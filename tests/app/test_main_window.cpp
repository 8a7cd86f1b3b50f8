#include "core/AppInfo.h"
#include "app/MainWindow.h"
#include "app/SwedishTranslations.h"
#include "tests/support/ScriptedDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

namespace {

// A volume whose root lists one file, so any absolute answer is accepted.
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

TEST_F(MainWindowTest, OpensSmallWithTheServerRoleOff)
{
    MainWindow window(dialogs, rule());
    dialogs.then(QStringLiteral("~/Musik"));
    ASSERT_TRUE(window.Form_Load());
    window.show();

    EXPECT_EQ(window.downloadFolder(), QStringLiteral("/home/anna/Musik/"));
    EXPECT_TRUE(window.windowTitle().startsWith(QStringLiteral("Tunvero")));
    EXPECT_EQ(window.size(), QSize(272, 98));
    EXPECT_FALSE(window.isServer());

    const WindowControls &c = window.controls();
    for (QWidget *w : std::vector<QWidget *>{c.lstFiles, c.dirFiles, c.cmdAdd, c.txtDirectorys, c.cmdSavePlaylist,
                                              c.cmdStartPlay, c.lstFilesPlay})
        EXPECT_FALSE(w->isVisibleTo(&window)) << w->metaObject()->className();
    EXPECT_FALSE(c.cmdServer->isEnabled());
    EXPECT_EQ(c.cmdServer->text(), QStringLiteral("Starta"));
    EXPECT_EQ(c.cmdClient->text(), QStringLiteral("Anslut"));
    EXPECT_TRUE(c.tmrDoEvents->isActive());

    ASSERT_EQ(c.cmbPort->count(), 21);
    EXPECT_EQ(c.cmbPort->itemText(0), QStringLiteral("49931"));
    EXPECT_EQ(c.cmbPort->itemText(20), QStringLiteral("49951"));
    EXPECT_EQ(c.cmbPort->currentText(), QStringLiteral("49931"));
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
