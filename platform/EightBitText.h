#pragma once

#include <QByteArray>
#include <QString>

// Lines of playlist files are the platform's 8-bit encoding of a path. A line that is not
// valid UTF-8 came from a Windows computer and is read as Windows-1252.
namespace EightBitText {

QString decode(const QByteArray &bytes);
QByteArray encode(const QString &text);

// Windows-1252 as Windows itself reads it: the five unassigned bytes map to the control
// characters of the same number.
QString fromWindows1252(const QByteArray &bytes);

} // namespace EightBitText
