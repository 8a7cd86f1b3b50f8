#include "net/ClientReceiver.h"

#include "net/Framing.h"
#include "net/RunClockWords.h"
#include "net/WireScan.h"

namespace {

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
constexpr qsizetype longestToken = 16;

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
    m_chunkBytes = 0;
    m_scanOffset = 0;
    m_delayScanOffset = 0;
    m_inFileData = false;
    m_fileDataExpected = false;
    m_settleMs = 0;
    m_songs.clear();
}

std::optional<ClientReceiver::Item> ClientReceiver::next()
{
    m_settleMs = 0;
    while (!m_in.overflowed && m_in.pos < m_in.bytes.size()) {
        if (m_inFileData) {
            if (std::optional<Item> piece = nextFileData())
                return piece;
            if (m_inFileData)
                return std::nullopt;
            continue;
        }
        const wireScan::TokenAt at = wireScan::tokenAt(m_in.bytes, m_in.pos, tokens());
        if (at.match == wireScan::Match::Partial)
            return std::nullopt;
        if (at.match == wireScan::Match::None) {
            if (m_fileDataExpected) {
                m_inFileData = true;
                m_chunkBytes = 0;
            } else {
                m_in.skipUnknown(tokens(), maxMessageBytes);
            }
            continue;
        }

        const qsizetype begin = m_in.pos;
        const qsizetype start = m_in.pos + at.length;
        Parsed p = at.token == WaitBefore ? parseEnvelope(start) : parseMessage(at.token, start);
        if (p.status == Status::NeedMore) {
            m_settleMs = p.settleMs;
            m_in.checkCap(m_in.bytes.size() - m_in.pos, maxMessageBytes);
            return std::nullopt;
        }
        m_in.pos = p.end;
        m_in.settled = false;
        m_scanOffset = 0;
        m_delayScanOffset = 0;
        if (p.status == Status::Drop)
            continue;
        m_in.skipped = 0;
        p.item.arrivalNs = p.arrivalNs != 0 ? p.arrivalNs : m_in.readAtNs(p.end - 1);
        p.item.startsRead = m_in.startsRead(begin) && m_in.readAtNs(begin) == m_in.readAtNs(p.end - 1);
        if (p.item.message.command == ClientCommand::SetMusic)
            m_songs = wireScan::songLines(p.item.message.data);
        return p.item;
    }
    return std::nullopt;
}

std::optional<ClientReceiver::Item> ClientReceiver::nextFileData()
{
    const QByteArray &marker = fileDataEnd();
    const qsizetype found = m_in.bytes.indexOf(marker, m_in.pos);
    qsizetype length = 0;
    if (found >= 0) {
        length = found - m_in.pos;
        m_inFileData = false;
    } else {
        // Keep back what may be the first bytes of the "DoGetFile" that ends the chunk.
        qsizetype hold = std::min(marker.size() - 1, m_in.bytes.size() - m_in.pos);
        while (hold > 0 && !m_in.bytes.endsWith(marker.left(hold)))
            --hold;
        length = m_in.bytes.size() - m_in.pos - hold;
    }
    m_chunkBytes += length;
    m_in.checkCap(m_chunkBytes, maxChunkBytes);
    if (length <= 0 || m_in.overflowed)
        return std::nullopt;
    Item piece{Item::Kind::FileData, {}, m_in.bytes.sliced(m_in.pos, length), 0};
    m_in.pos += length;
    return piece;
}

ClientReceiver::Parsed ClientReceiver::parseMessage(int word, qsizetype start)
{
    const qsizetype size = m_in.bytes.size();
    const auto complete = [&](qsizetype end) {
        Parsed p;
        p.status = Status::Complete;
        p.end = end;
        p.item.message = {static_cast<ClientCommand>(word), m_in.bytes.sliced(start, end - start)};
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
        const qsizetype lineEnd = m_in.bytes.indexOf(framing::crlf, start);
        if (lineEnd < 0)
            return needMore(0);
        const qsizetype from = lineEnd + 2;
        const qsizetype maxDigits = word == SkipFile ? slotDigits : sizeDigits;
        const qsizetype n = wireScan::digitsAt(m_in.bytes, from, maxDigits);
        if (numberMayGoOn(from, n, maxDigits)) {
            const QByteArray path = m_in.bytes.sliced(start, lineEnd - start);
            // A path outside the song list tells nothing: any slot may follow.
            const bool known = m_songs.contains(path);
            if (word == SetFileDone || n == 0 || wireScan::slotMayGoOn(m_in.bytes.sliced(from, n), [&](int slot) {
                    return !known || (slot < m_songs.size() && m_songs[slot] == path);
                }))
                return needMore(settleMs);
        }
        return complete(from + n);
    }
    case ClockTell:
    case PlayMusicAt: {
        const runClockWords::LineEnd line = runClockWords::lineEnd(m_in.bytes, start, &m_scanOffset);
        if (line.length == 0)
            return needMore(0);
        Parsed p = complete(line.dataEnd);
        p.end = start + line.length;
        return p;
    }
    case PutFileReady:
    case SetMusic: {
        bool partial = false;
        const qsizetype scanFrom = std::max(start, m_in.pos + m_scanOffset);
        const qsizetype next = wireScan::findToken(m_in.bytes, scanFrom, tokens(), &partial, &m_in.examined);
        if (next >= 0 && !partial)
            return complete(next);
        if (m_in.settled)
            return complete(size);
        if (word == PutFileReady && !partial && isWholeAnnouncedPath(m_in.bytes.sliced(start)))
            return complete(size);
        m_scanOffset = std::max(start, size - longestToken) - m_in.pos;
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
    const qsizetype lineEnd = m_in.bytes.indexOf(framing::crlf, std::max(start, m_in.pos + m_delayScanOffset));
    if (lineEnd < 0) {
        m_delayScanOffset = std::max(start, size - 1) - m_in.pos;
        return Parsed{};
    }
    const QByteArray delayText = m_in.bytes.sliced(start, lineEnd - start);
    bool ok = false;
    const uint delay = delayText.toUInt(&ok);
    const bool valid = ok && delayText == QByteArray::number(delay) && delay <= 65535;

    const qsizetype innerPos = lineEnd + 2;
    if (innerPos == size)
        return Parsed{};
    const wireScan::TokenAt at = wireScan::tokenAt(m_in.bytes, innerPos, tokens());
    if (at.match == wireScan::Match::Partial)
        return Parsed{};
    if (at.match == wireScan::Match::None || at.token == WaitBefore)
        return drop(innerPos);
    Parsed inner = parseMessage(at.token, innerPos + at.length);
    if (inner.status != Status::Complete)
        return inner;
    // An envelope whose delay is no whole number from 0 to 65535 is dropped with its message.
    if (!valid)
        return drop(inner.end);
    inner.item.kind = Item::Kind::Envelope;
    inner.item.delayMs = static_cast<int>(delay);
    return inner;
}

bool ClientReceiver::isWholeAnnouncedPath(const QByteArray &path) const
{
    bool announced = false;
    for (const QByteArray &song : m_songs) {
        if (song == path)
            announced = true;
        else if (song.startsWith(path))
            return false;
    }
    return announced;
}
