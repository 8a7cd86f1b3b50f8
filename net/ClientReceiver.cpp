#include "net/ClientReceiver.h"

#include "net/Framing.h"
#include "net/RunClockWords.h"
#include "net/WireScan.h"

namespace {

using wireScan::Match;

// The commands of `ClientCommand` in its order, then the envelope's word.
enum Word {
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
    ClockTell,
    PlayMusicAt,
    WaitBefore
};
static_assert(static_cast<int>(ClientCommand::PlayMusicAt) == PlayMusicAt);

const QList<QByteArray> &words()
{
    static const QList<QByteArray> w = {"TimerResponse",  "SetMusic",    "SetFileDone", "PutFileReady", "SkipFile",
                                        "ReStartPutFile", "DoGetFile",   "SkipFiles",   "PlayMusic",    "StopAllMusic",
                                        "ClockTell",      "PlayMusicAt", "WaitBefore:"};
    return w;
}

// Every word with its CR LF; the envelope's word carries its delay before the CR LF.
const QList<QByteArray> &tokens()
{
    static const QList<QByteArray> t = [] {
        QList<QByteArray> list;
        for (int i = 0; i < words().size(); ++i)
            list.append(i == WaitBefore ? words()[i] : words()[i] + framing::crlf);
        return list;
    }();
    return t;
}

// The end of a piece of file data: the "DoGetFile" message that follows every chunk.
const QByteArray &fileDataEnd()
{
    static const QByteArray marker = QByteArrayLiteral("DoGetFile\r\n ");
    return marker;
}

constexpr qsizetype slotDigits = 3;

// How many of the leading digits are the slot. A slot is written without leading zeros and
// names a song of the list, so digits beyond the longest such number are the first bytes of
// what follows: a chunk of song data the server sent right behind the message.
qsizetype slotLength(const QByteArray &digits, qsizetype songCount)
{
    if (digits.isEmpty() || songCount == 0)
        return digits.size();
    if (digits.front() == '0')
        return 1;
    for (qsizetype n = digits.size(); n > 0; --n) {
        if (digits.left(n).toInt() < songCount)
            return n;
    }
    return digits.size();
}
constexpr qsizetype sizeDigits = 20; // any 64-bit byte count

// Whole milliseconds, rounded up, from now until `dueNs`; 0 once it has passed.
int waitUntil(qint64 dueNs)
{
    const qint64 left = dueNs - ReceiveBuffer::nowNs();
    return left > 0 ? static_cast<int>((left + 999999) / 1000000) : 0;
}

} // namespace

void ClientReceiver::clear()
{
    m_in.clear();
    m_scan = {};
    m_chunk = {};
    m_fileDataExpected = false;
    m_fileBytesLeft = 0;
    m_asked = false;
    m_maybeMore = -1;
    m_settleMs = 0;
    m_songs.clear();
}

void ClientReceiver::expectFileData(qint64 songBytes)
{
    m_fileDataExpected = true;
    m_fileBytesLeft = songBytes;
    m_asked = false;
    m_maybeMore = -1;
}

void ClientReceiver::endFileData()
{
    m_fileDataExpected = false;
    m_fileBytesLeft = 0;
    m_asked = false;
}

void ClientReceiver::chunkAsked()
{
    m_asked = true;
    m_maybeMore = -1;
}

std::optional<ClientReceiver::Item> ClientReceiver::next()
{
    m_settleMs = 0;
    while (!m_in.overflowed && m_in.pos < m_in.bytes.size()) {
        if (m_chunk.active)
            return nextFileData();
        const wireScan::TokenAt at = wireScan::tokenAt(m_in.bytes, m_in.pos, tokens());
        if (at.match == Match::Partial)
            return std::nullopt;
        if (m_maybeMore >= 0) {
            // The "DoGetFile" just handed out may have been song bytes at 4000 of a large
            // chunk: its rest comes before the next request, a message does not.
            const Match rest = wireScan::standsAt(m_in.bytes, m_in.pos + m_maybeMore, fileDataEnd());
            if (at.match == Match::None || rest == Match::Full)
                return resumeChunk();
            if (rest == Match::Partial && !m_in.settled) {
                m_settleMs = settleMs;
                m_in.checkCap(m_in.bytes.size() - m_in.pos, maxMessageBytes);
                return std::nullopt;
            }
            m_maybeMore = -1;
        }
        if (at.match == Match::None) {
            if (m_fileDataExpected)
                startChunk();
            else
                m_in.skipUnknown(tokens(), maxMessageBytes);
            continue;
        }

        // Once asked for, a chunk's song bytes may look like a message; its end tells.
        const bool chunkDue = m_fileDataExpected && m_asked && m_fileBytesLeft > 0;
        const Match chunkHere = chunkDue ? chunkFits(m_in.pos) : Match::None;
        const qsizetype begin = m_in.pos;
        const qsizetype start = m_in.pos + at.length;
        const Parsed p = at.token == WaitBefore ? parseEnvelope(start) : parseMessage(at.token, start);
        if (p.status == Status::NeedMore) {
            m_settleMs = p.settleMs;
            m_in.checkCap(m_in.bytes.size() - m_in.pos, maxMessageBytes);
            return std::nullopt;
        }
        // A message between chunks has the next chunk right behind it. Song bytes that look
        // like one are followed by their chunk's "DoGetFile", and then by nothing until the
        // next request.
        if (chunkHere != Match::None) {
            const Match chunkBehind = chunkFits(p.end);
            if (chunkBehind != Match::Full) {
                if (chunkHere == Match::Full && (chunkBehind == Match::None || m_in.settled)) {
                    startChunk();
                    continue;
                }
                if (!m_in.settled) {
                    m_settleMs = settleMs;
                    m_in.checkCap(m_in.bytes.size() - m_in.pos, maxMessageBytes);
                    return std::nullopt;
                }
            }
        }
        m_in.pos = p.end;
        m_in.settled = false;
        m_scan = {};
        if (p.status == Status::Drop)
            continue;
        m_in.skipped = 0;
        return handOut(p, begin);
    }
    return std::nullopt;
}

ClientReceiver::Item ClientReceiver::handOut(const Parsed &p, qsizetype begin)
{
    Item item;
    item.kind = p.delayMs >= 0 ? Item::Kind::Envelope : Item::Kind::Message;
    const qsizetype dataEnd = p.dataEnd >= 0 ? p.dataEnd : p.end;
    item.message = {static_cast<ClientCommand>(p.word), m_in.copy(p.dataStart, dataEnd - p.dataStart)};
    item.delayMs = std::max(p.delayMs, 0);
    item.arrivalNs = p.arrivalNs != 0 ? p.arrivalNs : m_in.readAtNs(p.end - 1);
    item.startsRead = m_in.startsRead(begin) && m_in.readAtNs(begin) == m_in.readAtNs(p.end - 1);
    if (item.message.command == ClientCommand::SetMusic)
        m_songs = wireScan::songLines(item.message.data);
    return item;
}

Match ClientReceiver::chunkFits(qsizetype index) const
{
    const Match small =
        wireScan::standsAt(m_in.bytes, index + std::min<qint64>(smallChunkBytes, m_fileBytesLeft), fileDataEnd());
    const Match large =
        wireScan::standsAt(m_in.bytes, index + std::min<qint64>(largeChunkBytes, m_fileBytesLeft), fileDataEnd());
    if (small == Match::Full || large == Match::Full)
        return Match::Full;
    return small == Match::None && large == Match::None ? Match::None : Match::Partial;
}

void ClientReceiver::startChunk()
{
    m_scan = {};
    m_asked = false;
    m_chunk = {};
    m_chunk.active = true;
    m_chunk.counted = m_fileBytesLeft > 0;
    m_chunk.small = static_cast<qsizetype>(std::min<qint64>(smallChunkBytes, m_fileBytesLeft));
    m_chunk.large = static_cast<qsizetype>(std::min<qint64>(largeChunkBytes, m_fileBytesLeft));
}

std::optional<ClientReceiver::Item> ClientReceiver::resumeChunk()
{
    // The "DoGetFile" was song bytes: they come first, then the rest of the large chunk.
    const qsizetype rest = m_maybeMore;
    m_maybeMore = -1;
    m_scan = {};
    m_chunk = {};
    m_chunk.active = true;
    m_chunk.small = m_chunk.large = rest;
    m_fileBytesLeft -= fileDataEnd().size();
    return Item{Item::Kind::FileData, {}, fileDataEnd(), 0};
}

ClientReceiver::ChunkEnd ClientReceiver::chunkEnd()
{
    Chunk &c = m_chunk;
    if (c.known)
        return ChunkEnd::Known;
    const qsizetype base = m_in.pos - c.done;
    const Match atSmall = wireScan::standsAt(m_in.bytes, base + c.small, fileDataEnd());
    if (c.small == c.large) {
        c.known = atSmall == Match::Full;
        return c.known ? ChunkEnd::Known : atSmall == Match::None ? ChunkEnd::Wrong : ChunkEnd::Unknown;
    }
    if (atSmall == Match::Partial)
        return ChunkEnd::Unknown;
    const Match atLarge = wireScan::standsAt(m_in.bytes, base + c.large, fileDataEnd());
    if (atSmall == Match::None || atLarge == Match::Full) {
        c.small = c.large;
        return chunkEnd();
    }
    // A small chunk, unless the rest of a large one still comes: then this "DoGetFile" was
    // song bytes (the speed went up, and the song holds them at 4000).
    if (atLarge == Match::Partial)
        c.maybeMore = c.large - c.small - fileDataEnd().size();
    c.large = c.small;
    c.known = true;
    return ChunkEnd::Known;
}

std::optional<ClientReceiver::Item> ClientReceiver::nextFileData()
{
    Chunk &c = m_chunk;
    const QByteArray &marker = fileDataEnd();
    const qsizetype base = m_in.pos - c.done;
    const qsizetype size = m_in.bytes.size();
    ChunkEnd seen = ChunkEnd::Unknown;
    if (c.counted) {
        seen = chunkEnd();
        c.counted = seen != ChunkEnd::Wrong;
    }
    qsizetype end = -1; // where its "DoGetFile" stands, once known
    qsizetype limit = 0;
    int wait = 0;
    if (seen == ChunkEnd::Known) {
        end = c.small;
    } else {
        // A "DoGetFile" before the counted end is song bytes as soon as that end holds; one
        // that did not fit the counts ends the chunk.
        const qsizetype stop = c.counted ? base + c.small : size;
        bool partial = false;
        const qsizetype from = base + std::max(c.markerScan, c.done);
        const qsizetype found = wireScan::findWithin(m_in.bytes, from, stop, marker, &partial, &m_in.examined);
        c.markerScan = (found >= 0 ? found : std::min(stop, size)) - base;
        if (found < 0) {
            limit = std::min(stop, size) - base;
        } else if (found - base > c.done || partial) {
            limit = found - base;
        } else if (!c.counted || m_in.settled) {
            end = c.done;
        } else {
            limit = c.done;
            wait = shortChunkSettleMs;
        }
    }
    if (end >= 0)
        limit = end;
    limit = std::min(limit, size - base);
    if (limit > c.done) {
        const qsizetype length = limit - c.done;
        Item piece{Item::Kind::FileData, {}, m_in.copy(m_in.pos, length), 0};
        m_in.pos += length;
        m_in.settled = false;
        c.done += length;
        m_fileBytesLeft -= length;
        if (!c.counted)
            m_in.checkCap(c.done, maxChunkBytes);
        return piece;
    }
    if (end == c.done) {
        m_in.pos += marker.size();
        m_in.settled = false;
        m_maybeMore = c.maybeMore;
        m_chunk = {};
        Item done{Item::Kind::Message, {ClientCommand::DoGetFile, " "}, {}, 0};
        done.arrivalNs = m_in.readAtNs(m_in.pos - 1);
        return done;
    }
    m_settleMs = wait;
    m_in.checkCap(size - base, maxChunkBytes);
    return std::nullopt;
}

ClientReceiver::Parsed ClientReceiver::parseMessage(int word, qsizetype start)
{
    const qsizetype size = m_in.bytes.size();
    const auto complete = [&](qsizetype end) {
        Parsed p;
        p.status = Status::Complete;
        p.end = end;
        p.word = word;
        p.dataStart = start;
        return p;
    };
    const auto needMore = [](int settle) {
        Parsed p;
        p.settleMs = settle;
        return p;
    };
    // A number that ends with the bytes received so far.
    const auto numberMayGoOn = [&](qsizetype from, qsizetype digits, qsizetype maxDigits) {
        return from + digits == size && digits < maxDigits && !m_in.settled;
    };

    switch (word) {
    case TimerResponse:
    case StopAllMusic:
        return complete(start);
    case SkipFiles:
    case DoGetFile:
    case ReStartPutFile:
        if (start == size)
            return m_in.settled ? complete(start) : needMore(settleMs);
        return complete(start + (m_in.bytes[start] == ' ' ? 1 : 0));
    case PlayMusic: {
        const qsizetype n =
            slotLength(m_in.bytes.sliced(start, wireScan::digitsAt(m_in.bytes, start, slotDigits)), m_songs.size());
        const bool mayGoOn =
            n < slotDigits && (n == 0 || wireScan::slotMayGoOn(m_in.bytes.sliced(start, n),
                                                               [this](int slot) { return slot < m_songs.size(); }));
        // It takes effect when its last digit was read or, when the number could still go on,
        // the settle time after that, whatever follows: every client sees the same bytes, so
        // every client starts at the same moment. A digit read meanwhile makes the number
        // longer; what comes behind it waits.
        const qint64 effectNs = m_in.readAtNs(start + n - 1) + (mayGoOn ? qint64(settleMs) * 1000000 : 0);
        // Once settled, the wait named below has passed.
        if (mayGoOn && !m_in.settled) {
            if (const int wait = waitUntil(effectNs); wait > 0)
                return needMore(wait);
        }
        Parsed p = complete(start + n);
        p.arrivalNs = effectNs;
        return p;
    }
    case SkipFile:
    case SetFileDone: {
        if (m_scan.lineEnd < 0) {
            const qsizetype lineEnd = m_in.find(framing::crlf, std::max(start, m_in.pos + m_scan.lineFrom));
            if (lineEnd < 0) {
                m_scan.lineFrom = size - 1 - m_in.pos;
                return needMore(0);
            }
            m_scan.lineEnd = lineEnd - m_in.pos;
            if (word == SkipFile)
                learnPathSlots(start, lineEnd);
        }
        const qsizetype from = m_in.pos + m_scan.lineEnd + 2;
        const qsizetype maxDigits = word == SkipFile ? slotDigits : sizeDigits;
        const qsizetype n = wireScan::digitsAt(m_in.bytes, from, maxDigits);
        if (numberMayGoOn(from, n, maxDigits)) {
            // A path outside the song list tells nothing: any slot may follow.
            if (word == SetFileDone || n == 0 || wireScan::slotMayGoOn(m_in.bytes.sliced(from, n), [&](int slot) {
                    return m_scan.pathSlots.none() || m_scan.pathSlots.test(slot);
                }))
                return needMore(settleMs);
        }
        return complete(from + n);
    }
    case ClockTell:
    case PlayMusicAt: {
        const runClockWords::LineEnd line = runClockWords::lineEnd(m_in.bytes, start, &m_scan.clockLine);
        if (line.length == 0)
            return needMore(0);
        Parsed p = complete(start + line.length);
        p.dataEnd = line.dataEnd;
        return p;
    }
    case PutFileReady:
    case SetMusic: {
        bool partial = false;
        const qsizetype scanFrom = std::max(start, m_in.pos + m_scan.tokenFrom);
        const qsizetype next = wireScan::findToken(m_in.bytes, scanFrom, tokens(), &partial, &m_in.examined);
        m_scan.tokenFrom = (next >= 0 ? next : size) - m_in.pos;
        if (next >= 0 && !partial)
            return complete(next);
        if (m_in.settled)
            return complete(size);
        if (word == PutFileReady && !partial && isWholeAnnouncedPath(start))
            return complete(size);
        return needMore(word == SetMusic ? songListSettleMs : settleMs);
    }
    default:
        break;
    }
    return complete(start);
}

ClientReceiver::Parsed ClientReceiver::parseEnvelope(qsizetype start)
{
    const qsizetype size = m_in.bytes.size();
    const auto drop = [](qsizetype end) {
        Parsed p;
        p.status = Status::Drop;
        p.end = end;
        return p;
    };
    // The delay runs to the first CR LF, however long; the search resumes where it stopped.
    if (m_scan.delayEnd < 0) {
        const qsizetype lineEnd = m_in.find(framing::crlf, std::max(start, m_in.pos + m_scan.delayFrom));
        if (lineEnd < 0) {
            m_scan.delayFrom = std::max(start, size - 1) - m_in.pos;
            return Parsed{};
        }
        m_scan.delayEnd = lineEnd - m_in.pos;
        const QByteArray delayText = m_in.copy(start, lineEnd - start);
        bool ok = false;
        const uint delay = delayText.toUInt(&ok);
        // An envelope whose delay is no whole number from 0 to 65535 is dropped with its message.
        m_scan.delay = ok && delayText == QByteArray::number(delay) && delay <= 65535 ? int(delay) : -1;
    }

    const qsizetype innerPos = m_in.pos + m_scan.delayEnd + 2;
    if (innerPos == size)
        return Parsed{};
    const wireScan::TokenAt at = wireScan::tokenAt(m_in.bytes, innerPos, tokens());
    if (at.match == Match::Partial)
        return Parsed{};
    if (at.match == Match::None || at.token == WaitBefore)
        return drop(innerPos);
    Parsed inner = parseMessage(at.token, innerPos + at.length);
    if (inner.status != Status::Complete)
        return inner;
    if (m_scan.delay < 0)
        return drop(inner.end);
    inner.delayMs = m_scan.delay;
    return inner;
}

void ClientReceiver::learnPathSlots(qsizetype start, qsizetype lineEnd)
{
    const QByteArrayView path = QByteArrayView(m_in.bytes).sliced(start, lineEnd - start);
    m_in.examined += path.size();
    m_scan.pathSlots.reset();
    for (int slot = 0; slot < m_songs.size() && slot <= wireScan::lastSlot; ++slot)
        m_scan.pathSlots.set(slot, m_songs[slot] == path);
}

bool ClientReceiver::isWholeAnnouncedPath(qsizetype start)
{
    const qsizetype length = m_in.bytes.size() - start;
    if (m_scan.pathChecked < 0) {
        m_scan.pathChecked = 0;
        for (int slot = 0; slot < m_songs.size(); ++slot)
            m_scan.pathAlive.append(slot);
    }
    // Each byte of the path is compared once with each song that still begins like it.
    for (qsizetype i = m_scan.pathChecked; i < length && !m_scan.pathAlive.isEmpty(); ++i) {
        const char b = m_in.bytes[start + i];
        m_in.examined += m_scan.pathAlive.size();
        m_scan.pathAlive.removeIf([&](int slot) { return m_songs[slot].size() <= i || m_songs[slot][i] != b; });
    }
    m_scan.pathChecked = length;
    bool announced = false;
    for (const int slot : m_scan.pathAlive) {
        if (m_songs[slot].size() > length)
            return false;
        announced = true;
    }
    return announced;
}
