#pragma once

#include <QByteArray>

// One message as it travels: a command word and its data, both exactly the bytes of the wire.
struct WireMessage {
    QByteArray command;
    QByteArray data;

    bool operator==(const WireMessage &) const = default;
};
