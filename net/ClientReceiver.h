#pragma once

#include "net/ReceiveBuffer.h"
#include "net/StreamReceiver.h"
#include "net/WireScan.h"

#include <QByteArray>
#include <QList>

#include <bitset>
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
// File data: while the owner expects song bytes (the transfer names the song's size after
// "SetFileDone" and says when it asks for the next chunk), bytes at a message start that
// begin no word are a chunk: the next 4000 or 200000 bytes of the song, or what remains of
// it when less, followed by "DoGetFile" CR LF " ". The chunk is cut by that count, never at
// text inside it; where the "DoGetFile" stands tells the size. One at 4000 whose large
// alternative has not arrived yet is handed out at once: should song bytes follow before
// the next request (the server sends nothing unasked after a chunk), it was song bytes of a
// large chunk, which goes on. Once the next chunk is asked for, bytes that begin a word may
// be its first: they are a message when the next chunk's "DoGetFile" stands right behind
// them, the chunk when its own stands at the count. Only a chunk whose "DoGetFile" stands
// at neither count (a server that sends other sizes) ends at the first "DoGetFile" in it.
// Pieces are handed out as they arrive.
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

    // The chunk sizes the server's speed button switches between; every run starts small.
    static constexpr qsizetype smallChunkBytes = 4000;
    static constexpr qsizetype largeChunkBytes = 200000;

    // A song of `songBytes` bytes is being fetched and none of it has come yet: bytes that
    // begin no message are its chunks, counted against what remains of it.
    void expectFileData(qint64 songBytes);
    // No song is being fetched: bytes that begin no message are skipped. A chunk under way
    // still runs to its end, and so does the rest of one that may follow a "DoGetFile".
    void endFileData();
    bool fileDataExpected() const { return m_fileDataExpected; }
    // The next chunk has been asked for ("GetFile" went out): bytes from here on may be it.
    // Before that, bytes that look like a message are one.
    void chunkAsked();

    // A "DoGetFile" inside a chunk's count ends the chunk only when nothing more comes for
    // this long: song bytes follow it at once, while a server that sent less than it
    // announced waits for the next request.
    static constexpr int shortChunkSettleMs = 300;

    // The paths the last "SetMusic" announced, slot by slot.
    const QList<QByteArray> &announcedSongs() const { return m_songs; }

    bool overflowed() const override { return m_in.overflowed; }

    // Work spent on the received bytes (positions searched, bytes copied or compared):
    // grows with the bytes received, never with their square, however small the reads.
    qsizetype bytesExamined() const { return m_in.examined; }

    // The connection ended: forgets all bytes, the file data mode and the song list.
    void clear();

private:
    enum class Status { Complete, NeedMore, Drop };
    struct Parsed {
        Status status = Status::NeedMore;
        qsizetype end = 0;
        int word = 0;
        qsizetype dataStart = 0; // the message's data runs from here to `dataEnd`
        qsizetype dataEnd = -1;  // -1: to `end`
        int delayMs = -1;        // an envelope's delay
        int settleMs = 0;        // NeedMore: 0 means wait for bytes that must still come
        qint64 arrivalNs = 0;    // Complete: when it takes effect, where not its last byte's read
    };
    // The chunk being handed out. Offsets count from its first byte.
    struct Chunk {
        bool active = false;
        qsizetype done = 0;             // bytes handed out
        qsizetype small = 0, large = 0; // where its "DoGetFile" may stand; equal once known
        bool known = false;             // its "DoGetFile" was seen at `small`
        qsizetype maybeMore = -1;       // ended small, but may be large: the bytes that would remain
        bool counted = true;            // false: the counts did not fit, it ends at the first "DoGetFile"
        qsizetype markerScan = 0;       // where the search for a "DoGetFile" inside it resumes
    };
    // What the search for the end of the message at `m_in.pos` has learnt, whatever the
    // reads: offsets from `m_in.pos`, so that each byte is looked at about once.
    struct Scan {
        qsizetype tokenFrom = 0;                       // where the search for the next word resumes
        qsizetype lineFrom = 0;                        // where the search for the path line's end resumes
        qsizetype lineEnd = -1;                        // where it ends, -1 not yet
        qsizetype delayFrom = 0;                       // where the search for an envelope's CR LF resumes
        qsizetype delayEnd = -1;                       // where it is, -1 not yet
        int delay = -1;                                // the envelope's delay, -1 when it is no valid one
        std::bitset<wireScan::lastSlot + 1> pathSlots; // the slots announced under the line's path
        qsizetype clockLine = 0;                       // how far the search for a clock word's line end has looked
        qsizetype pathChecked = -1;                    // "PutFileReady": path bytes compared so far, -1 none
        QList<int> pathAlive;                          // the announced songs that still begin with them
    };

    // What the bytes so far tell of where the chunk ends: at `Chunk::small` (Known), at
    // neither count (Wrong), or not yet (Unknown).
    enum class ChunkEnd { Known, Wrong, Unknown };

    std::optional<Item> nextFileData();
    std::optional<Item> resumeChunk();
    ChunkEnd chunkEnd();
    void startChunk();
    // Whether a chunk that began at `index` would end in "DoGetFile" by the counts.
    wireScan::Match chunkFits(qsizetype index) const;
    // `begin`: where the message's word began.
    Item handOut(const Parsed &p, qsizetype begin);
    Parsed parseMessage(int word, qsizetype start);
    Parsed parseEnvelope(qsizetype start);
    void learnPathSlots(qsizetype start, qsizetype lineEnd);
    bool isWholeAnnouncedPath(qsizetype start);

    ReceiveBuffer m_in;
    Scan m_scan;
    Chunk m_chunk;
    bool m_fileDataExpected = false;
    qint64 m_fileBytesLeft = 0; // of the song being fetched, not yet handed out
    bool m_asked = false;       // a chunk was asked for and has not begun
    qsizetype m_maybeMore = -1; // after a small chunk that may have been large: the bytes of it that would remain
    int m_settleMs = 0;
    QList<QByteArray> m_songs;
};
