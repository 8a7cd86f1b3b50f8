#include "core/ModGlobal.h"

#include <QFileInfo>
#include <QSysInfo>

namespace modGlobal {

namespace {

template <typename Text> Text textBetween(const Text &text, const Text &after, const Text &before)
{
    Text r = text;
    if (!after.isEmpty()) {
        const qsizetype p = r.indexOf(after);
        // Absent: r is kept from 1-based position length(after), i.e. drops
        // length(after) - 1 characters.
        r = p < 0 ? r.mid(after.size() - 1) : r.mid(p + after.size());
    }
    if (!before.isEmpty()) {
        const qsizetype q = r.indexOf(before);
        if (q < 0)
            return Text();
        r = r.left(q);
    }
    return r;
}

qsizetype lastSeparator(const QString &path)
{
    return std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
}

} // namespace

QString GetShortPath(const QString &path)
{
    if (path.isEmpty())
        return {};
    const QFileInfo info(path);
    return info.exists() ? info.absoluteFilePath() : QString();
}

QString ComputerName()
{
    return QSysInfo::machineHostName();
}

QString TextBetween(const QString &text, const QString &after, const QString &before)
{
    return textBetween(text, after, before);
}

QByteArray TextBetween(const QByteArray &text, const QByteArray &after, const QByteArray &before)
{
    return textBetween(text, after, before);
}

bool TextContains(const QString &text, const QString &part)
{
    return text.contains(part);
}

QString FileNameOf(const QString &path)
{
    return path.mid(lastSeparator(path) + 1);
}

QString FolderOf(const QString &path)
{
    const QString folder = path.left(lastSeparator(path) + 1);
    if (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\')))
        return folder;
    return folder + QLatin1Char('/');
}

} // namespace modGlobal
