#pragma once

#include "net/ReceiveBuffer.h"
#include "net/StreamReceiver.h"

#include <QByteArray>
#include <QList>

#include <optional>

// The commands the server sends and the client handles.
enum class ClientCommand {
    TimerResponse,
    SetMusic,
    SetFileDone,
    PutFileReady,
    SkipFile,
    ReStartPutFile,
    DoGetFile,
    SkipFiles,
    PlayMusic,
    StopAllMusic,
    // Not the design's words: sent only to a client that asked for the run's clock
    // (docs/protocol.md, "The run's clock").
    ClockTell,
    PlayMusicAt
};

// One message the server sent: which command, and its data exactly as received.
struct ClientMessage {
    ClientCommand command = ClientCommand::TimerResponse;
    QByteArray data;

    bool operator==(const ClientMessage &) const = default;
};

// The client's receive path: owns the bytes the server has sent and cuts them into whole
// messages, delayed envelopes and pieces of file data, however TCP splits or joins them.
// Never touches a socket.
//
// A message begins where a server-to-client word and its CR LF begin (or "WaitBefore:");
// its end follows from its word (see docs/protocol.md, "Cutting the stream"):
// - "TimerResponse", "StopAllMusic": at the CR LF; "SkipFiles", "DoGetFile",
//   "ReStartPutFile": after the one blank that follows it;
// - "PlayMusic", "SkipFile": after the slot number, known to be whole when a non-digit
//   follows, when it has three digits, or when no slot of the announced song list could
//   still be written with more digits (for "SkipFile" under the same path);
// - "SetFileDone": after the size's last digit, known when a non-digit follows;
// - "PutFileReady": where the next message begins, or at once when the path is one of the
//   announced songs and no other announced path goes on from it;
// - "SetMusic": where the next message begins;
// - "ClockTell", "PlayMusicAt": at the CR LF after their one line of numbers.
// When the bytes end where a message could still go on, the owner waits the settle time
// the receiver names and then takes the message as it is. A "PlayMusic" whose number could
// still go on in the announced list is handed out `settleMs` after its last digit was
// read, also when later bytes end the number sooner, and what follows it waits behind it:
// its moment depends on nothing but the bytes and the list, so every client starts alike.
//
// File data: while the owner has switched file data on (the transfer does so after
// "SetFileDone"), bytes at a message start that begin no word are a piece of file data,
// and so is everything after them up to the next "DoGetFile" CR LF " ". Pieces are handed
// out as they arrive, so a 200000-byte chunk is never held whole here.
class ClientReceiver : public StreamReceiver {
public:
    struct Item {
        enum class Kind { Message, FileData, Envelope };
        Kind kind = Kind::Message;
        ClientMessage message; // Message; Envelope: the inner message
        QByteArray fileData;   // FileData
        int delayMs = 0;       // Envelope
        // Message, Envelope: when the message arrived (ReceiveBuffer::nowNs()): the read that
        // brought its last byte, or for a "PlayMusic" whose number could still go on, the
        // settle time after its last digit was read: the moment it takes effect.
        qint64 arrivalNs = 0;
        // Message: its first byte began a read, so the read's receive stamp is its own.
        bool startsRead = false;

        // The same item, whenever it arrived.
        bool operator==(const Item &other) const
        {
            return kind == other.kind && message == other.message && fileData == other.fileData &&
                   delayMs == other.delayMs;
        }
    };

    // A "SetMusic" may list 201 paths of up to 4096 bytes; nothing else the server sends
    // as a message comes near. An unfinished message beyond this, or as many bytes that
    // begin no message, means the peer is broken or hostile.
    static constexpr qsizetype maxMessageBytes = 1024 * 1024;
    // The server sends chunks of 4000 or 200000 bytes; one piece of file data running past
    // this without its "DoGetFile" is no chunk.
    static constexpr qsizetype maxChunkBytes = 1024 * 1024;

    // Waits after the last byte before a message that could still go on is taken as it is.
    // Numbers and single paths come in one small write; the rest of one follows at once.
    static constexpr int settleMs = 40;
    // A song list can be large and arrive in many pieces; nothing hurries it.
    static constexpr int songListSettleMs = 300;

    void append(const QByteArray &bytes, qint64 readAtNs) override { m_in.append(bytes, readAtNs); }

    // The next item, or nothing when more bytes are needed.
    std::optional<Item> next();

    // After `next` gave nothing: the time to wait before `settle`, 0 when nothing waits.
    int settleWaitMs() const override { return m_settleMs; }
    void settle() override { m_in.settle(); }

    // Bytes that begin no message are file data (the transfer switches this on while it
    // fetches a song) rather than an unknown message to skip.
    void setFileDataExpected(bool expected) { m_fileDataExpected = expected; }
    bool fileDataExpected() const { return m_fileDataExpected; }

    // The paths the last "SetMusic" announced, slot by slot.
    const QList<QByteArray> &announcedSongs() const { return m_songs; }

    bool overflowed() const override { return m_in.overflowed; }

    // Positions the search for the next message has looked at: grows with the bytes
    // received, never with their square.
    qsizetype bytesExamined() const { return m_in.examined; }

    // The connection ended: forgets all bytes, the file data mode and the song list.
    void clear();

private:
    enum class Status { Complete, NeedMore, Drop };
    struct Parsed {
        Status status = Status::NeedMore;
        qsizetype end = 0;
        Item item;
        int settleMs = 0;     // NeedMore: 0 means wait for bytes that must still come
        qint64 arrivalNs = 0; // Complete: when it takes effect, where not its last byte's read
    };

    std::optional<Item> nextFileData();
    Parsed parseMessage(int word, qsizetype start);
    Parsed parseEnvelope(qsizetype start);
    bool isWholeAnnouncedPath(const QByteArray &path) const;

    ReceiveBuffer m_in;
    qsizetype m_chunkBytes = 0;
    qsizetype m_scanOffset = 0;      // where the search for the next word resumes, from the message start
    qsizetype m_delayScanOffset = 0; // where the search for an envelope's CR LF resumes
    bool m_inFileData = false;
    bool m_fileDataExpected = false;
    int m_settleMs = 0;
    QList<QByteArray> m_songs;
};
