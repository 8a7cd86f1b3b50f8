#include "net/ServerReceiver.h"

#include "net/Framing.h"
#include "net/RunClockWords.h"
#include "net/WireScan.h"

namespace {

// In the order of `ServerCommand`.
const QList<QByteArray> &words()
{
    static const QList<QByteArray> w = {"MirrorTimerResponse", "Connected",      "GetFile", "SetFile",
                                        "AllFilesLoaded",      "HasNeededFiles", "ClockAsk"};
    return w;
}

const QList<QByteArray> &tokens()
{
    static const QList<QByteArray> t = [] {
        QList<QByteArray> list;
        for (const QByteArray &w : words())
            list.append(w + framing::crlf);
        return list;
    }();
    return t;
}

constexpr qsizetype slotDigits = 3;

} // namespace

ServerReceiver::ServerReceiver(AnnouncedSong announced) : m_announced(std::move(announced))
{
}

void ServerReceiver::clear()
{
    m_in.clear();
    m_lineScan = 0;
    m_lineEnd = -1;
    m_waitsToSettle = false;
    m_lineScanOffset = 0;
}

std::optional<ServerMessage> ServerReceiver::next()
{
    m_waitsToSettle = false;
    while (!m_in.overflowed && m_in.pos < m_in.bytes.size()) {
        const wireScan::TokenAt at = wireScan::tokenAt(m_in.bytes, m_in.pos, tokens());
        if (at.match == wireScan::Match::Partial)
            return std::nullopt;
        if (at.match == wireScan::Match::None) {
            m_in.skipUnknown(tokens(), maxMessageBytes);
            continue;
        }

        const qsizetype start = m_in.pos + at.length;
        qsizetype end = start;
        const auto command = static_cast<ServerCommand>(at.token);
        if (command == ServerCommand::GetFile || command == ServerCommand::SetFile) {
            if (m_lineEnd < 0) {
                // The search for the path's end resumes where the last read left it.
                const qsizetype lineEnd = m_in.find(framing::crlf, std::max(start, m_in.pos + m_lineScan));
                if (lineEnd < 0) {
                    m_lineScan = m_in.bytes.size() - 1 - m_in.pos;
                    m_in.checkCap(m_in.bytes.size() - m_in.pos, maxMessageBytes);
                    return std::nullopt;
                }
                m_lineEnd = lineEnd - m_in.pos;
                learnPathSlots(m_in.copy(start, lineEnd - start));
            }
            const qsizetype digitsStart = m_in.pos + m_lineEnd + 2;
            const qsizetype n = wireScan::digitsAt(m_in.bytes, digitsStart, slotDigits);
            end = digitsStart + n;
            if (end == m_in.bytes.size() && n < slotDigits && !m_in.settled) {
                // A path outside the song list tells nothing: any slot may follow.
                const bool known = m_pathSlots.any();
                const bool mayGoOn = n == 0 || wireScan::slotMayGoOn(m_in.bytes.sliced(digitsStart, n), [&](int slot) {
                                         return !known || m_pathSlots.test(slot);
                                     });
                if (mayGoOn) {
                    m_waitsToSettle = true;
                    return std::nullopt;
                }
            }
        }

        qsizetype next = end;
        if (command == ServerCommand::ClockAsk) {
            const runClockWords::LineEnd line = runClockWords::lineEnd(m_in.bytes, start, &m_lineScanOffset);
            if (line.length == 0)
                return std::nullopt;
            end = line.dataEnd;
            next = start + line.length;
        }

        ServerMessage message{command, m_in.copy(start, end - start)};
        const qsizetype begin = start - at.length;
        if (m_in.startsRead(begin) && m_in.readAtNs(begin) == m_in.readAtNs(next - 1))
            m_lastArrivalNs = m_in.readAtNs(next - 1);
        else
            m_lastArrivalNs.reset();
        m_lineScanOffset = 0;
        m_lineScan = 0;
        m_lineEnd = -1;
        m_in.pos = next;
        m_in.skipped = 0;
        m_in.settled = false;
        return message;
    }
    return std::nullopt;
}

void ServerReceiver::learnPathSlots(const QByteArray &path)
{
    m_pathSlots.reset();
    for (int slot = 0; m_announced && slot <= wireScan::lastSlot; ++slot)
        m_pathSlots.set(slot, m_announced(slot, path));
}
