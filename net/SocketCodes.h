#pragma once

#include <QAbstractSocket>

// The socket numbers the program's messages are keyed on, as the Winsock control gives them.
namespace socketCodes {

inline constexpr int stateClosed = 0;
inline constexpr int stateConnected = 7;

inline constexpr int hostNotFound = 11001;
inline constexpr int connectionRefused = 10061;
inline constexpr int connectionAborted = 10053;
inline constexpr int connectionReset = 10054;

// 0 closed, 7 connected; the other Winsock states for the rest.
int stateNumber(QAbstractSocket::SocketState state);

// Qt's error as the Winsock number; an error without one keeps Qt's own number.
int errorNumber(QAbstractSocket::SocketError error);

} // namespace socketCodes
