#pragma once

#include <QByteArray>

// The bytes each sender puts on the wire. There is no length prefix and no terminator:
// a command word, then CR LF and the data.
namespace framing {

inline const QByteArray crlf = QByteArrayLiteral("\r\n");

// What `Send` writes: the CR LF only when there is data, so a raw file piece given as the
// command word with empty data goes out alone.
QByteArray sendBytes(const QByteArray &command, const QByteArray &data);

// What `SendMessageAll`, `SendClient` and the fixed replies write: the CR LF always.
QByteArray messageBytes(const QByteArray &command, const QByteArray &data);

// The delayed envelope of `SendMessageAllByTimer`.
QByteArray envelopeBytes(int delayMs, const QByteArray &command, const QByteArray &data);

} // namespace framing
