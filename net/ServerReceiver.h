#pragma once

#include "net/ReceiveBuffer.h"
#include "net/StreamReceiver.h"
#include "net/WireScan.h"

#include <QByteArray>
#include <QList>

#include <bitset>
#include <functional>
#include <optional>

// The commands a client sends and the server handles.
enum class ServerCommand {
    MirrorTimerResponse,
    Connected,
    GetFile,
    SetFile,
    AllFilesLoaded,
    HasNeededFiles,
    // Not one of the design's words: a client that keeps the run's clock asks with it
    // (docs/protocol.md, "The run's clock").
    ClockAsk
};

// One message a client sent: which command, and its data exactly as received.
struct ServerMessage {
    ServerCommand command = ServerCommand::Connected;
    QByteArray data;

    bool operator==(const ServerMessage &) const = default;
};

// The server's receive path for one connection: owns the bytes a client has sent and cuts
// them into whole messages, however TCP splits or joins them. Never touches a socket.
//
// A message begins where a client-to-server word and its CR LF begin; bytes that begin
// none are an unknown message and are skipped up to the next word. Where a message ends
// follows from its word: "Connected", "MirrorTimerResponse", "AllFilesLoaded" and
// "HasNeededFiles" end at their CR LF; "GetFile" and "SetFile" carry a path line and a
// slot number with nothing after it, so they end after the number's last digit, which is
// known when a non-digit follows, when the number has three digits, or when no announced
// song slot could still be written with more digits under this path. "ClockAsk" ends at
// the CR LF after its one line of numbers. Only when the
// received bytes end inside a number that could still go on does the owner wait
// `settleMs` for more before taking the number as it is.
class ServerReceiver : public StreamReceiver {
public:
    // True when song slot `slot` of the current run was announced with exactly this path.
    using AnnouncedSong = std::function<bool(int slot, const QByteArray &path)>;

    // A client sends nothing longer than a word, a path and a slot number; paths stay far
    // below 4096 bytes on every platform. Beyond this an unfinished message, or a run of
    // bytes that begin no message, means the peer is broken or hostile.
    static constexpr qsizetype maxMessageBytes = 64 * 1024;

    // How long the owner waits after the last byte for the rest of a slot number that may
    // go on. Short, and needed only when one path was announced under two such slots.
    static constexpr int settleMs = 40;

    explicit ServerReceiver(AnnouncedSong announced = {});

    void append(const QByteArray &bytes, qint64 readAtNs) override { m_in.append(bytes, readAtNs); }

    // The next whole message, or nothing when more bytes are needed.
    std::optional<ServerMessage> next();

    // After `next` gave nothing: `settleMs` when a message waits only for the settle time.
    int settleWaitMs() const override { return m_waitsToSettle ? settleMs : 0; }
    // The settle time has passed without new bytes: the waiting message ends where the
    // bytes end. Call `next` again to get it.
    void settle() override { m_in.settle(); }

    bool overflowed() const override { return m_in.overflowed; }

    // When the last message `next` gave arrived: the read that brought its last byte; nothing
    // when that read also brought bytes before it, whose stamp it then carries.
    std::optional<qint64> lastArrivalNs() const { return m_lastArrivalNs; }

    // Work spent on the received bytes (positions searched, bytes copied or compared):
    // grows with the bytes received, never with their square, however small the reads.
    qsizetype bytesExamined() const { return m_in.examined; }

    void clear();

private:
    void learnPathSlots(const QByteArray &path);

    AnnouncedSong m_announced;
    ReceiveBuffer m_in;
    bool m_waitsToSettle = false;
    qsizetype m_lineScanOffset = 0; // how far the search for a data line's end has looked
    std::optional<qint64> m_lastArrivalNs;
    // Of the message at `m_in.pos`, learnt once however many reads it takes: where the
    // search for the end of its path line resumes, where that line ends (-1: not yet), and
    // the slots announced under its path.
    qsizetype m_lineScan = 0;
    qsizetype m_lineEnd = -1;
    std::bitset<wireScan::lastSlot + 1> m_pathSlots;
};
