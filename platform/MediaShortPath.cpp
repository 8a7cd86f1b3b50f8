#include "MediaShortPath.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

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

bool ensurePrivateFolder(const QString &folder)
{
    if (!QDir().mkpath(folder))
        return false;
    return QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

MediaShortPath::MediaShortPath(QString aliasFolder)
    : m_aliasFolder(std::move(aliasFolder))
{
}

QString MediaShortPath::defaultAliasFolder()
{
    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty())
        runtime = QDir::tempPath();
    return runtime + QStringLiteral("/tunvero-media");
}

QString MediaShortPath::shortPathOf(const QString &longPath) const
{
    const QFileInfo info(longPath);
    if (longPath.isEmpty() || !info.exists())
        return QString();
    const QString target = info.absoluteFilePath();
    if (!ensurePrivateFolder(m_aliasFolder))
        return QString();

    // Only letters and digits in the suffix, so the short form never holds a blank or a quote.
    QString suffix;
    for (const QChar c : info.suffix()) {
        if (c.isLetterOrNumber() && c.unicode() < 128)
            suffix += c;
    }
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QString link = m_aliasFolder + QLatin1Char('/') + linkName(target, suffix, attempt);
        const QFileInfo existing(link);
        if (existing.isSymLink()) {
            if (existing.symLinkTarget() == target)
                return link;
            continue;
        }
        if (existing.exists())
            continue;
        if (QFile::link(target, link))
            return link;
        // Someone else made it meanwhile: use it if it leads to the same file.
        if (QFileInfo(link).isSymLink() && QFileInfo(link).symLinkTarget() == target)
            return link;
    }
    return QString();
}
