#include "net/Framing.h"

namespace framing {

QByteArray sendBytes(const QByteArray &command, const QByteArray &data)
{
    return data.isEmpty() ? command : messageBytes(command, data);
}

QByteArray messageBytes(const QByteArray &command, const QByteArray &data)
{
    return command + crlf + data;
}

QByteArray envelopeBytes(int delayMs, const QByteArray &command, const QByteArray &data)
{
    return QByteArrayLiteral("WaitBefore:") + QByteArray::number(delayMs) + crlf + messageBytes(command, data);
}

} // namespace framing
