#include "MediaShortPath.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace {

// Different long paths whose hashes meet try the next name; a handful is plenty for 32 bits.
constexpr int kNameAttempts = 16;

QString linkName(const QString &target, const QString &suffix, int attempt)
{
    QByteArray key = target.toUtf8();
    if (attempt > 0)
        key += '\n' + QByteArray::number(attempt);
    const QByteArray hash = QCryptographicHash::hash(key, QCryptographicHash::Sha1);
    QString name = QString::fromLatin1(hash.left(4).toHex().toUpper());
    if (!suffix.isEmpty())
        name += QLatin1Char('.') + suffix.left(3).toUpper();
    return name;
}

// A folder that is ours alone: a real folder (not a link to one), owned by us, mode 0700.
// Another user's folder, or a link planted where ours should be, is never used or changed.
bool isPrivateFolder(const QByteArray &path)
{
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 07777) == 0700;
}

} // namespace

struct MediaShortPath::Folder {
    QString path;
    bool chosen = false;
    bool madeUnique = false;

    ~Folder()
    {
        // A uniquely named folder is this run's alone: leave nothing behind in the temp folder.
        if (madeUnique)
            QDir(path).removeRecursively();
    }

    void choose(const QString &wanted)
    {
        chosen = true;
        const QByteArray name = QFile::encodeName(wanted);
        // It may be there already, made by us or by someone else: checked below either way.
        ::mkdir(name.constData(), 0700);
        if (isPrivateFolder(name)) {
            path = wanted;
            return;
        }
        QByteArray pattern = name + "-XXXXXX";
        if (::mkdtemp(pattern.data()) && isPrivateFolder(pattern)) {
            path = QFile::decodeName(pattern);
            madeUnique = true;
        }
    }
};

MediaShortPath::MediaShortPath(QString aliasFolder)
    : m_wanted(std::move(aliasFolder)), m_folder(std::make_shared<Folder>())
{
}

QString MediaShortPath::defaultAliasFolder()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return runtime + QStringLiteral("/tunvero-media");
    // The user's id in the name keeps users apart; whether the folder is really ours is
    // checked before every use.
    return QDir::tempPath() + QStringLiteral("/tunvero-media-%1").arg(::geteuid());
}

QString MediaShortPath::aliasFolder()
{
    if (!m_folder->chosen)
        m_folder->choose(m_wanted);
    return m_folder->path;
}

MediaShortPath::Result MediaShortPath::shortPathOf(const QString &longPath)
{
    using Outcome = Result::Outcome;
    const QFileInfo info(longPath);
    if (longPath.isEmpty() || !info.exists())
        return {Outcome::Missing, QString()};
    const QString target = info.absoluteFilePath();
    const QString folder = aliasFolder();
    if (folder.isEmpty())
        return {Outcome::Failed, QString()};

    // Only letters and digits in the suffix, so the short form never holds a blank or a quote.
    QString suffix;
    for (const QChar c : info.suffix()) {
        if (c.isLetterOrNumber() && c.unicode() < 128)
            suffix += c;
    }
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QString link = folder + QLatin1Char('/') + linkName(target, suffix, attempt);
        const QFileInfo existing(link);
        if (existing.isSymLink()) {
            if (existing.symLinkTarget() == target)
                return {Outcome::Made, link};
            continue;
        }
        if (existing.exists())
            continue;
        if (QFile::link(target, link))
            return {Outcome::Made, link};
        // Someone else made it meanwhile: use it if it leads to the same file.
        if (QFileInfo(link).isSymLink() && QFileInfo(link).symLinkTarget() == target)
            return {Outcome::Made, link};
    }
    return {Outcome::Failed, QString()};
}
