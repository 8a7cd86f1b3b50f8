#pragma once

#include <QString>
#include <QStringList>

// How the browser joins paths and how paths go to the clipboard.
namespace PathText {

// Folder and file name with one separator between them, none added after a root such as "/".
inline QString joinPath(const QString &folder, const QString &name)
{
    if (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

// One path a line, CR LF between lines and none after the last.
inline QString joinLines(const QStringList &lines)
{
    return lines.join(QStringLiteral("\r\n"));
}

} // namespace PathText
