#include "app/DownloadFolderQuestion.h"
#include "app/DownloadFolderRule.h"
#include "app/Settings.h"
#include "platform/VolumeRoots.h"
#include "tests/support/ScriptedDialogs.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

// Paths under /data and the home folder lie on a volume whose root lists a file, all others
// on one whose root holds only a hidden file.
class DownloadFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *file : {"full/musik.mp3", "empty/.hidden"}) {
            const QString path = volumes.filePath(QString::fromUtf8(file));
            ASSERT_TRUE(QDir().mkpath(path.section(QLatin1Char('/'), 0, -2)) && QFile(path).open(QIODevice::WriteOnly));
        }
    }

    const DownloadFolderRule rule{QStringLiteral("/home/anna"), [this](const QString &path) {
                                      const bool full = path.startsWith(QStringLiteral("/data")) ||
                                                        path.startsWith(QStringLiteral("/home/anna"));
                                      return volumes.filePath(full ? QStringLiteral("full") : QStringLiteral("empty"));
                                  }};
    QTemporaryDir volumes;
};

} // namespace

TEST_F(DownloadFolderTest, AcceptsAbsoluteFoldersOnAVolumeThatListsSomethingVisible)
{
    EXPECT_EQ(rule.accept(QStringLiteral("/data/Ny mapp")), QStringLiteral("/data/Ny mapp/"));
    EXPECT_EQ(rule.accept(QStringLiteral("~/Musik")), QStringLiteral("/home/anna/Musik/"));
    // Not absolute, or on the empty volume.
    for (const char *answer : {"/media/tom", "Musik", "C:\\Musik", "~anna/Musik", "/"})
        EXPECT_EQ(rule.accept(QString::fromUtf8(answer)), QString()) << answer;

    // On this machine: "/" always lists something, so a folder that does not exist yet in a
    // real tree is still accepted.
    QTemporaryDir tree;
    ASSERT_TRUE(QDir(tree.path()).mkpath(QStringLiteral("a/b")));
    EXPECT_EQ(DownloadFolderRule(QDir::homePath()).accept(tree.path() + QStringLiteral("/a/b/ny mapp")),
              tree.path() + QStringLiteral("/a/b/ny mapp/"));
}

TEST_F(DownloadFolderTest, RepeatsWithTheStoredDefaultAndStoresOnlyTheAcceptedAnswer)
{
    Settings store([] { return QStringLiteral("TunveroDownloadTest"); });
    ScriptedDialogs dialogs;
    dialogs.then(QStringLiteral("relativ")).then(DialogAnswer::Ok).then(QString());
    EXPECT_EQ(askDownloadFolder(dialogs, store, rule), QString());
    EXPECT_EQ(store.lastSaveFolder(), Settings::defaultDownloadFolder());

    dialogs.clear();
    dialogs.then(QStringLiteral("/media/tom")).then(DialogAnswer::Ok).then(QStringLiteral("/data/Musik"));
    EXPECT_EQ(askDownloadFolder(dialogs, store, rule), QStringLiteral("/data/Musik/"));
    ASSERT_EQ(dialogs.shown().size(), 3u);
    EXPECT_EQ(dialogs.shown()[1].message.text, QStringLiteral("Ej godkänd katalog/enhet"));

    // The next start offers the stored answer.
    dialogs.clear();
    dialogs.then(QString());
    (void)askDownloadFolder(dialogs, store, rule);
    EXPECT_EQ(dialogs.last().defaultAnswer, QStringLiteral("/data/Musik/"));
}

TEST(DownloadFolderWithoutMounts, TheDefaultIsAcceptedCreatedPrivatelyWritableAndAcceptedAgain)
{
    // A chroot: no mount covers any path, and a fresh home holds only hidden files.
    QTemporaryDir root;
    const QString home = root.path() + QStringLiteral("/home/anna");
    ASSERT_TRUE(QDir().mkpath(home) && QFile(home + QStringLiteral("/.profile")).open(QIODevice::WriteOnly));
    const DownloadFolderRule rule(home, [](const QString &path) {
        return VolumeRoots::volumeRootWith(path, [](const QString &) { return QString(); });
    });

    // $HOME points at the fake home, and a permissive umask shows that the folder's mode is
    // chosen, not inherited; both are put back on leaving.
    const QByteArray savedHome = qgetenv("HOME");
    const mode_t savedMask = ::umask(0);
    qputenv("HOME", home.toLocal8Bit());
    const auto restore = qScopeGuard([&] {
        qputenv("HOME", savedHome);
        ::umask(savedMask);
    });

    Settings store([] { return QStringLiteral("TunveroChroot"); });
    const QString expected = home + QStringLiteral("/TunveroMusic/");
    // The next start finds the folder it made, empty, and must not refuse it either.
    for (int start = 0; start < 2; ++start) {
        ScriptedDialogs dialogs;
        dialogs.then(Settings::defaultDownloadFolder());
        EXPECT_EQ(askDownloadFolder(dialogs, store, rule), expected) << start;
        EXPECT_EQ(dialogs.shown().size(), 1u) << "the default was refused";
        struct stat created {};
        ASSERT_EQ(::stat(QFile::encodeName(expected).constData(), &created), 0);
        EXPECT_TRUE(S_ISDIR(created.st_mode));
        EXPECT_EQ(created.st_mode & 0777, 0755u);
    }
}
