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

TEST(Settings, LiveInAFolderOfTheirOwnUnderTheCaptionReadAtEveryAccess)
{
    QString caption = windowCaption();
    const QFileInfo file(Settings::fileOf(caption));
    // The folder sits where the earlier file sat: directly in the per-user config folder.
    EXPECT_EQ(file.absoluteFilePath(), QFileInfo(Settings::earlierFileOf(caption)).absolutePath() +
                                           QStringLiteral("/Tunvero/") + caption + QStringLiteral(".conf"));

    Settings store([&] { return caption; });
    store.setServerName(QStringLiteral("festdatorn"));
    const QString text = readAll(file.absoluteFilePath());
    EXPECT_TRUE(text.contains(QStringLiteral("[Main]")) && text.contains(QStringLiteral("ServerName=festdatorn")));
    EXPECT_FALSE(QFileInfo::exists(Settings::earlierFileOf(caption)));

    caption = QStringLiteral("TunveroSecond");
    EXPECT_NE(store.serverName(), QStringLiteral("festdatorn"));
    store.setServerName(QStringLiteral("två"));
    caption = windowCaption();
    EXPECT_EQ(store.serverName(), QStringLiteral("festdatorn"));
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
