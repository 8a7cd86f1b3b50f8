#include "app/DownloadFolderQuestion.h"
#include "app/DownloadFolderRule.h"
#include "app/Settings.h"
#include "platform/VolumeRoots.h"
#include "tests/support/ScriptedDialogs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

// Two volumes: one whose root lists a file, one whose root is empty but for a hidden file.
class DownloadFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *file : {"full/musik.mp3", "empty/.hidden"}) {
            QDir().mkpath(QFileInfo(m_volumes.filePath(QString::fromUtf8(file))).path());
            ASSERT_TRUE(QFile(m_volumes.filePath(QString::fromUtf8(file))).open(QIODevice::WriteOnly));
        }
    }

    QString full() const { return m_volumes.path() + QStringLiteral("/full"); }
    QString empty() const { return m_volumes.path() + QStringLiteral("/empty"); }

    // Paths under /data live on the full volume, all others on the empty one.
    DownloadFolderRule rule() const
    {
        return DownloadFolderRule(QStringLiteral("/home/anna"), [this](const QString &path) {
            return path.startsWith(QStringLiteral("/data")) || path.startsWith(QStringLiteral("/home/anna")) ? full()
                                                                                                             : empty();
        });
    }

    QTemporaryDir m_volumes;
    QString m_settingsName = QStringLiteral("TunveroDownloadTest");
};

} // namespace

TEST_F(DownloadFolderTest, AcceptsAbsoluteFoldersOnAVolumeThatListsSomethingVisible)
{
    const DownloadFolderRule r = rule();
    EXPECT_EQ(r.accept(QStringLiteral("/data/Ny mapp")), QStringLiteral("/data/Ny mapp/"));
    EXPECT_EQ(r.accept(QStringLiteral("/data/")), QStringLiteral("/data/"));
    EXPECT_EQ(r.accept(QStringLiteral("~/Musik")), QStringLiteral("/home/anna/Musik/"));
    EXPECT_EQ(r.accept(QStringLiteral("~")), QStringLiteral("/home/anna/"));
    EXPECT_EQ(r.accept(QStringLiteral("/media/tom")), QString());

    // Every path lies on the volume that lists something: only the answer itself can fail.
    const DownloadFolderRule onFull(QStringLiteral("/home/anna"), [this](const QString &) { return full(); });
    for (const char *answer : {"Musik", "C:\\Musik", "~anna/Musik", "./Musik", "/", "//"})
        EXPECT_EQ(onFull.accept(QString::fromUtf8(answer)), QString()) << answer;
}

TEST(DownloadFolderRuleOnThisMachine, UsesTheRealVolumeOfTheFolder)
{
    // "/" always lists something, so a folder that does not exist yet is still accepted.
    const DownloadFolderRule r(QDir::homePath());
    EXPECT_EQ(r.accept(QStringLiteral("/tmp/tunvero-finns-inte/ännu")),
              QStringLiteral("/tmp/tunvero-finns-inte/ännu/"));

    // A real tree: a new folder on the volume of a temporary folder.
    QTemporaryDir tree;
    ASSERT_TRUE(QDir(tree.path()).mkpath(QStringLiteral("a/b")));
    const QString wanted = tree.path() + QStringLiteral("/a/b/ny mapp/");
    EXPECT_EQ(r.accept(tree.path() + QStringLiteral("/a/b/ny mapp")), wanted);
}

TEST_F(DownloadFolderTest, RepeatsWithTheStoredDefaultAndStoresOnlyTheAcceptedAnswer)
{
    Settings store([this] { return m_settingsName; });
    ScriptedDialogs dialogs;
    dialogs.then(QStringLiteral("relativ")).then(DialogAnswer::Ok).then(QString());
    EXPECT_EQ(askDownloadFolder(dialogs, store, rule()), QString());
    QSettings raw(QSettings::NativeFormat, QSettings::UserScope, Settings::folderName(), m_settingsName);
    EXPECT_FALSE(raw.contains(QStringLiteral("Main/LastSaveFolder")));

    dialogs.clear();
    dialogs.then(QStringLiteral("/media/tom")).then(DialogAnswer::Ok).then(QStringLiteral("/data/Musik"));
    EXPECT_EQ(askDownloadFolder(dialogs, store, rule()), QStringLiteral("/data/Musik/"));
    const auto &shown = dialogs.shown();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].prompt, QStringLiteral("I vilken katalog vill du spara nedladdade filer?"));
    EXPECT_EQ(shown[2].defaultAnswer, Settings::defaultDownloadFolder());
    EXPECT_EQ(shown[1].message.text, QStringLiteral("Ej godkänd katalog/enhet"));

    // The next start offers the stored answer.
    dialogs.clear();
    dialogs.then(QString());
    EXPECT_EQ(askDownloadFolder(dialogs, store, rule()), QString());
    EXPECT_EQ(dialogs.last().defaultAnswer, QStringLiteral("/data/Musik/"));
}

namespace {

// Points $HOME at a folder of the test's own and sets the umask, both undone on leaving.
class FakeHome {
public:
    FakeHome(const QString &home, mode_t mask) : m_saved(qgetenv("HOME")), m_savedMask(::umask(mask))
    {
        qputenv("HOME", home.toLocal8Bit());
    }
    ~FakeHome()
    {
        qputenv("HOME", m_saved);
        ::umask(m_savedMask);
    }

private:
    QByteArray m_saved;
    mode_t m_savedMask;
};

} // namespace

TEST(DownloadFolderWithoutMounts, TheDefaultIsAcceptedCreatedPrivatelyWritableAndAcceptedAgain)
{
    // A chroot: no mount covers any path, and a fresh home holds only hidden files.
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString home = root.path() + QStringLiteral("/home/anna");
    ASSERT_TRUE(QDir().mkpath(home));
    QFile profile(home + QStringLiteral("/.profile"));
    ASSERT_TRUE(profile.open(QIODevice::WriteOnly));
    const auto noMount = [](const QString &) { return QString(); };
    const DownloadFolderRule rule(home,
                                  [&](const QString &path) { return VolumeRoots::volumeRootWith(path, noMount); });

    // A permissive umask shows that the folder's mode is chosen, not inherited.
    const FakeHome fake(home, 0);
    Settings store([] { return QStringLiteral("TunveroChroot"); });
    ScriptedDialogs dialogs;
    dialogs.then(Settings::defaultDownloadFolder());
    const QString expected = home + QStringLiteral("/TunveroMusic/");
    EXPECT_EQ(askDownloadFolder(dialogs, store, rule), expected);
    EXPECT_EQ(dialogs.shown().size(), 1u) << "the default was refused";

    struct stat created {};
    ASSERT_EQ(::stat(QFile::encodeName(expected).constData(), &created), 0);
    EXPECT_TRUE(S_ISDIR(created.st_mode));
    EXPECT_EQ(created.st_mode & 0777, 0755u);

    // The next start finds the folder it made, empty, and must not refuse it either.
    ScriptedDialogs again;
    again.then(Settings::defaultDownloadFolder());
    EXPECT_EQ(askDownloadFolder(again, store, rule), expected);
    EXPECT_EQ(again.shown().size(), 1u);

    // A folder the user types is not made at the question; a known mount still decides.
    EXPECT_EQ(rule.accept(QStringLiteral("~/Egen")), home + QStringLiteral("/Egen/"));
    EXPECT_FALSE(QFileInfo::exists(home + QStringLiteral("/Egen")));
    const QString emptyVolume = root.path() + QStringLiteral("/media/tom");
    ASSERT_TRUE(QDir().mkpath(emptyVolume));
    EXPECT_EQ(
        VolumeRoots::volumeRootWith(emptyVolume + QStringLiteral("/x"), [&](const QString &) { return emptyVolume; }),
        emptyVolume);
    EXPECT_FALSE(VolumeRoots::listsVisibleEntry(emptyVolume));
}
