#include "core/AppInfo.h"
#include "app/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <gtest/gtest.h>

namespace {

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

TEST(Settings, LiveInAFolderOfTheirOwnUnderTheCaption)
{
    const QString caption = windowCaption();
    const QFileInfo file(Settings::fileOf(caption));
    EXPECT_EQ(file.fileName(), caption + QStringLiteral(".conf"));
    EXPECT_EQ(file.dir().dirName(), QStringLiteral("Tunvero"));
    // The folder sits where the earlier file sat: directly in the per-user config folder.
    EXPECT_EQ(file.dir().absolutePath() + QLatin1Char('/'),
              QFileInfo(Settings::earlierFileOf(caption)).absolutePath() + QStringLiteral("/Tunvero/"));

    Settings store([&] { return caption; });
    store.setServerName(QStringLiteral("festdatorn"));
    store.setLastSaveFolder(QStringLiteral("/srv/Låtar/"));
    const QString text = readAll(file.absoluteFilePath());
    EXPECT_TRUE(text.contains(QStringLiteral("[Main]"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("ServerName=festdatorn"))) << text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(Settings::earlierFileOf(caption)));
}

TEST(Settings, AnEarlierFileIsTakenOverOnceAndLeftAsItWas)
{
    const QString name = QStringLiteral("TunveroEarlier");
    {
        QSettings earlier(QSettings::NativeFormat, QSettings::UserScope, name);
        earlier.setValue(QStringLiteral("Main/ServerName"), QStringLiteral("köksdatorn"));
        earlier.setValue(QStringLiteral("Main/LastSaveFolder"), QStringLiteral("/srv/Musik/"));
    }
    const QString earlierFile = Settings::earlierFileOf(name);
    ASSERT_TRUE(QFileInfo::exists(earlierFile));
    ASSERT_FALSE(QFileInfo::exists(Settings::fileOf(name)));

    Settings store([&] { return name; });
    EXPECT_EQ(store.serverName(), QStringLiteral("köksdatorn"));
    EXPECT_EQ(store.lastSaveFolder(), QStringLiteral("/srv/Musik/"));
    ASSERT_TRUE(QFileInfo::exists(Settings::fileOf(name)));
    EXPECT_TRUE(readAll(Settings::fileOf(name)).contains(QStringLiteral("[Main]")));

    // From now on the new file decides: later changes go there, and the old file is not read
    // again even when something else writes to it.
    store.setServerName(QStringLiteral("festdatorn"));
    {
        QSettings earlier(QSettings::NativeFormat, QSettings::UserScope, name);
        EXPECT_EQ(earlier.value(QStringLiteral("Main/ServerName")).toString(), QStringLiteral("köksdatorn"));
        earlier.setValue(QStringLiteral("Main/LastSaveFolder"), QStringLiteral("/annat/"));
    }
    EXPECT_EQ(store.serverName(), QStringLiteral("festdatorn"));
    EXPECT_EQ(store.lastSaveFolder(), QStringLiteral("/srv/Musik/"));
    EXPECT_EQ(Settings([&] { return name; }).serverName(), QStringLiteral("festdatorn"));
}

TEST(Settings, TheApplicationNameIsReadAtEveryAccess)
{
    QString name = QStringLiteral("TunveroFirst");
    Settings store([&] { return name; });
    store.setServerName(QStringLiteral("ett"));
    name = QStringLiteral("TunveroSecond");
    EXPECT_NE(store.serverName(), QStringLiteral("ett"));
    store.setServerName(QStringLiteral("två"));
    name = QStringLiteral("TunveroFirst");
    EXPECT_EQ(store.serverName(), QStringLiteral("ett"));
}
