#pragma once

#include <QByteArray>
#include <QtGlobal>

// Reading a connection together with the moment the system received the bytes, so that a
// busy process still learns when a message really arrived.
namespace stampedRead {

// Asks the system to note when each piece of the connection arrives. False where it cannot.
bool enable(qintptr descriptor);

struct Result {
    QByteArray bytes;
    qint64 receivedAtNs = 0; // when the last of them arrived (ReceiveBuffer::nowNs()); 0: unknown
};

// Up to maxBytes the system holds now, without waiting. Leaves the end of the stream and
// errors for the socket's owner to find.
Result read(qintptr descriptor, qint64 maxBytes);

} // namespace stampedRead
