#include "playlist/PlaylistFile.h"

#include "platform/EightBitText.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace PlaylistFile {

namespace {

const QByteArray byteOrderMark = QByteArrayLiteral("\xEF\xBB\xBF");

} // namespace

bool write(const QString &fileName, const QStringList &fullPaths)
{
    QByteArray content;
    for (const QString &path : fullPaths)
        content += EightBitText::encode(path) + QByteArrayLiteral("\r\n");
    // A first path that begins with U+FEFF would be read back as the file's byte-order mark
    // and lose it; an empty line before it is skipped by every reader.
    if (content.startsWith(byteOrderMark))
        content.prepend(QByteArrayLiteral("\r\n"));
    QSaveFile file(fileName);
    // Unbuffered, so that a short write (a full disk) shows here and not as a silent
    // partial flush inside the commit.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    if (file.write(content) != content.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

std::optional<QStringList> read(const QString &fileName)
{
    if (!QFileInfo(fileName).isFile())
        return std::nullopt;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    // An editor's byte-order mark belongs to the file, not to its first path.
    if (content.startsWith(byteOrderMark))
        content.remove(0, byteOrderMark.size());

    QStringList lines;
    // Lines end in CR LF; a bare LF from a file edited elsewhere ends one too.
    for (QByteArray line : content.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        lines.append(EightBitText::decode(line));
    }
    // What follows the last line end is no line.
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace PlaylistFile
