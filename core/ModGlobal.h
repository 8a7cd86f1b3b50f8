#pragma once

#include <QByteArray>
#include <QString>

// Text and path helpers shared by every subsystem. Peers rely on their exact results,
// odd cases included (see TextBetween).
namespace modGlobal {

// The path as the playlist shows it: Linux has no short aliases, so the absolute path
// itself when the file or folder exists, "" otherwise.
QString GetShortPath(const QString &path);

// This computer's network name.
QString ComputerName();

// The part of text after the first `after` and before the first `before` that follows it.
// A missing `after` keeps text from position length(after) on (1-based), so "\r\n" drops
// the first character; a missing `before` gives "".
QString TextBetween(const QString &text, const QString &after, const QString &before);
QByteArray TextBetween(const QByteArray &text, const QByteArray &after, const QByteArray &before);

bool TextContains(const QString &text, const QString &part);

// Cut at the last "/" or "\" so paths from a Windows peer cut correctly too.
QString FileNameOf(const QString &path);
// Up to and including the last separator; "/" is appended when the result has none at its end.
QString FolderOf(const QString &path);

} // namespace modGlobal
