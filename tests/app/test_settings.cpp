#include "app/Settings.h"
#include "core/AppInfo.h"

#include <QFile>
#include <QSettings>

#include <gtest/gtest.h>

TEST(Settings, AreWrittenUnderTheCaptionAndReadAtEveryAccess)
{
    QString caption = windowCaption();
    Settings store([&] { return caption; });
    store.setServerName(QStringLiteral("festdatorn"));
    QFile written(Settings::fileOf(caption));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readAll().contains("[Main]\nServerName=festdatorn"));

    caption = QStringLiteral("TunveroSecond");
    EXPECT_NE(store.serverName(), QStringLiteral("festdatorn"));
    store.setServerName(QStringLiteral("två"));
    caption = windowCaption();
    EXPECT_EQ(store.serverName(), QStringLiteral("festdatorn"));
}

TEST(Settings, AnEarlierFileIsTakenOverOnceAndLeftAsItWas)
{
    const QString name = QStringLiteral("TunveroEarlier");
    QSettings earlier(QSettings::NativeFormat, QSettings::UserScope, name);
    earlier.setValue(QStringLiteral("Main/ServerName"), QStringLiteral("köksdatorn"));
    earlier.setValue(QStringLiteral("Main/LastSaveFolder"), QStringLiteral("/srv/Musik/"));
    earlier.sync();

    Settings store([&] { return name; });
    EXPECT_EQ(store.serverName(), QStringLiteral("köksdatorn"));
    EXPECT_EQ(store.lastSaveFolder(), QStringLiteral("/srv/Musik/"));

    // From now on the new file decides: later changes go there, and the old file is not read
    // again even when something else writes to it.
    store.setServerName(QStringLiteral("festdatorn"));
    earlier.sync();
    EXPECT_EQ(earlier.value(QStringLiteral("Main/ServerName")).toString(), QStringLiteral("köksdatorn"));
    earlier.setValue(QStringLiteral("Main/LastSaveFolder"), QStringLiteral("/annat/"));
    earlier.sync();
    EXPECT_EQ(store.serverName(), QStringLiteral("festdatorn"));
    EXPECT_EQ(store.lastSaveFolder(), QStringLiteral("/srv/Musik/"));
    EXPECT_EQ(Settings([&] { return name; }).serverName(), QStringLiteral("festdatorn"));
}
