#include "transfer/DownloadTree.h"

#include "platform/EightBitText.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace downloadTree {

namespace {

QString withSlash(const QString &folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

bool isInside(const QString &canonicalFolder, const QString &canonicalPath)
{
    return canonicalPath == canonicalFolder || canonicalPath.startsWith(withSlash(canonicalFolder));
}

} // namespace

std::optional<Place> placeOf(const QString &downloadFolder, const QByteArray &serverPath)
{
    QString path = EightBitText::decode(serverPath);
    path.remove(QLatin1Char(':'));
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    qsizetype start = 0;
    while (start < path.size() && path.at(start) == QLatin1Char('/'))
        ++start;
    const QStringList parts = path.sliced(start).split(QLatin1Char('/'));
    for (const QString &part : parts) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String("..") || part.contains(QChar(0)))
            return std::nullopt;
    }
    const QString root = withSlash(QDir::cleanPath(downloadFolder));
    Place place;
    place.folder = root + QStringList(parts.begin(), parts.end() - 1).join(QLatin1Char('/'));
    place.folder = withSlash(place.folder);
    place.file = place.folder + parts.back();
    // With no "." or ".." left, cleaning changes nothing; a difference means the path escapes.
    if (QDir::cleanPath(place.file) != place.file || !place.file.startsWith(root))
        return std::nullopt;
    return place;
}

bool makeFolder(const QString &downloadFolder, const QString &folder)
{
    const QFileDevice::Permissions mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                          QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                          QFileDevice::ExeOther;
    const QString home = QDir::cleanPath(downloadFolder);
    const QString clean = QDir::cleanPath(folder);
    QString canonicalHome;
    QDir dir;
    for (qsizetype at = clean.indexOf(QLatin1Char('/'), 1);; at = clean.indexOf(QLatin1Char('/'), at + 1)) {
        const QString level = at < 0 ? clean : clean.left(at);
        // A level that exists, or cannot be made, is passed over; the checks decide.
        if (!QFileInfo::exists(level))
            dir.mkdir(level, mode);
        if (level == home)
            canonicalHome = QFileInfo(home).canonicalFilePath();
        // Below the download folder, never step through a link that leads out of it.
        if (level.startsWith(withSlash(home)) &&
            (canonicalHome.isEmpty() || !isInside(canonicalHome, QFileInfo(level).canonicalFilePath())))
            return false;
        if (at < 0)
            break;
    }
    return QFileInfo(clean).isDir() && !canonicalHome.isEmpty();
}

} // namespace downloadTree
