#include "platform/Drives.h"

#include <gtest/gtest.h>

TEST(Drives, SystemDriveFirstThenVolumesAPersonBrowsesUpToTheCap)
{
    const QList<Drives::Mount> mounts = {
        {QStringLiteral("/"), "ext4", QString(), true},
        {QStringLiteral("/proc"), "proc", QString(), true},
        {QStringLiteral("/home"), "ext4", QString(), true},
        {QStringLiteral("/boot/efi"), "vfat", QString(), true},
        {QStringLiteral("/run/user/1000"), "tmpfs", QString(), true},
        {QStringLiteral("/var/lib/docker/overlay2/x"), "overlay", QString(), true},
        {QStringLiteral("/run/media/anna/Min USB"), "vfat", QStringLiteral("Min USB"), true},
        {QStringLiteral("/media/cd"), "iso9660", QString(), false},
        {QStringLiteral("/mnt/musik"), "ext4", QStringLiteral("MUSIK"), true},
        {QStringLiteral("/snap/core/1"), "squashfs", QString(), true},
        {QStringLiteral("/home"), "ext4", QString(), true},
    };
    QStringList shown;
    for (const DriveEntry &drive : Drives::browsable(mounts))
        shown.append(drive.root + QLatin1Char('|') + drive.text);
    // A mount point with a blank keeps it in its root; the text carries the label.
    EXPECT_EQ(shown, (QStringList{QStringLiteral("/|/"), QStringLiteral("/home|/home"),
                                  QStringLiteral("/run/media/anna/Min USB|/run/media/anna/Min USB"),
                                  QStringLiteral("/mnt/musik|/mnt/musik [MUSIK]")}));

    QList<Drives::Mount> many;
    for (int i = 0; i < 150; ++i)
        many.append({QStringLiteral("/mnt/v%1").arg(i), "ext4", QString(), true});
    const QList<DriveEntry> capped = Drives::browsable(many);
    EXPECT_EQ(capped.size(), Drives::maximumCount);
    EXPECT_EQ(capped[0].root, QStringLiteral("/"));

    const QList<DriveEntry> here = Drives::list();
    ASSERT_FALSE(here.isEmpty());
    EXPECT_EQ(here[0].root, QStringLiteral("/"));
    EXPECT_TRUE(Drives::isAvailable(QStringLiteral("/")));
    EXPECT_FALSE(Drives::isAvailable(QStringLiteral("/finns/inte")));
}
