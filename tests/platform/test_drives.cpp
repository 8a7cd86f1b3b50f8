#include "platform/Drives.h"

#include <gtest/gtest.h>

TEST(Drives, SystemDriveFirstThenVolumesAPersonBrowses)
{
    const QList<Drives::Mount> mounts = {
        {QStringLiteral("/"), "ext4", QString(), true},
        {QStringLiteral("/proc"), "proc", QString(), true},
        {QStringLiteral("/dev/shm"), "tmpfs", QString(), true},
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
    const QList<DriveEntry> drives = Drives::browsable(mounts);
    ASSERT_EQ(drives.size(), 4);
    EXPECT_EQ(drives[0].root, QStringLiteral("/"));
    EXPECT_EQ(drives[0].text, QStringLiteral("/"));
    EXPECT_EQ(drives[1].root, QStringLiteral("/home"));
    // A mount point with a blank keeps it in its root; the text carries the label.
    EXPECT_EQ(drives[2].root, QStringLiteral("/run/media/anna/Min USB"));
    EXPECT_EQ(drives[2].text, QStringLiteral("/run/media/anna/Min USB"));
    EXPECT_EQ(drives[3].root, QStringLiteral("/mnt/musik"));
    EXPECT_EQ(drives[3].text, QStringLiteral("/mnt/musik [MUSIK]"));
}

TEST(Drives, TheListIsCappedAndAlwaysHoldsTheSystemDrive)
{
    QList<Drives::Mount> many;
    for (int i = 0; i < 150; ++i)
        many.append({QStringLiteral("/mnt/v%1").arg(i), "ext4", QString(), true});
    const QList<DriveEntry> drives = Drives::browsable(many);
    EXPECT_EQ(drives.size(), Drives::maximumCount);
    EXPECT_EQ(drives[0].root, QStringLiteral("/"));

    EXPECT_EQ(Drives::browsable({}).size(), 1);
    const QList<DriveEntry> here = Drives::list();
    ASSERT_FALSE(here.isEmpty());
    EXPECT_EQ(here[0].root, QStringLiteral("/"));
    EXPECT_TRUE(Drives::isAvailable(QStringLiteral("/")));
    EXPECT_FALSE(Drives::isAvailable(QStringLiteral("/finns/inte")));
}
