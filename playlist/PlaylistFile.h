#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The "*.tunvero" file: one full path a line, each line ending in CR LF, in the platform's
// 8-bit encoding.
namespace PlaylistFile {

// Writes to a temporary file beside the target and renames it over the target, so a
// failed save leaves the previous file as it was. False when anything failed. When the first
// path begins with U+FEFF, an empty line goes first.
bool write(const QString &fileName, const QStringList &fullPaths);

// The file's lines without their line ends, empty ones included, and without a UTF-8
// byte-order mark at the file's start; a line that is not UTF-8 is read as Windows-1252.
// Nothing when the file cannot be read.
std::optional<QStringList> read(const QString &fileName);

} // namespace PlaylistFile
