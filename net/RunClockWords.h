#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>

// The words of the run's clock and their one line of data (docs/protocol.md, "The run's
// clock"). Numbers are decimal, fields are separated by one blank; every moment is on the
// server's monotonic clock, in nanoseconds.
namespace runClockWords {

inline const QByteArray clockAsk = QByteArrayLiteral("ClockAsk");
inline const QByteArray clockTell = QByteArrayLiteral("ClockTell");
inline const QByteArray playMusicAt = QByteArrayLiteral("PlayMusicAt");

// The run's start delay never goes beyond this, whatever a client's output holds: a listener
// who presses play waits no longer, and a client whose output holds more joins late.
inline constexpr int maxStartDelayMs = 1000;

struct Ask {
    quint32 number = 0;
    int outputLatencyMs = 0;
};
struct Tell {
    quint32 number = 0;
    qint64 receivedNs = 0; // when the server received the ask
    qint64 sentNs = 0;     // when it sent this answer
};
struct PlayAt {
    int slot = 0;
    qint64 atNs = 0; // when the song's first sample is to be heard
    int delayMs = 0; // how long after the server sent it, for a client whose clock is not ready
};

// Where a message's data line, starting at `start`, ends: the data runs over digits, blanks
// and minus signs, and the message ends after the CR LF that follows them. Anything else ends
// the message where it stands (its data is then no valid line and the message is ignored), so
// a broken one never swallows the next. `length` 0: the bytes end inside the line (wait for
// more); `dataEnd` and `length` otherwise. `scanned` carries where the search stopped.
struct LineEnd {
    qsizetype dataEnd = 0;
    qsizetype length = 0; // from the message's data start to its end, CR LF included
};
LineEnd lineEnd(const QByteArray &bytes, qsizetype start, qsizetype *scanned);
// A data line is never longer than this: three numbers of 20 digits and their blanks.
inline constexpr qsizetype maxLineBytes = 80;

// Each message on the wire: its word, CR LF, its one line of data and a CR LF that ends it,
// so a receiver knows its end without waiting. The parsers take the data line alone.
QByteArray askBytes(const Ask &ask);
std::optional<Ask> parseAsk(const QByteArray &data);
QByteArray tellBytes(const Tell &tell);
std::optional<Tell> parseTell(const QByteArray &data);
QByteArray playAtBytes(const PlayAt &play);
std::optional<PlayAt> parsePlayAt(const QByteArray &data);

} // namespace runClockWords
