#include "net/ServerReceiver.h"

#include "net/Framing.h"
#include "net/WireScan.h"

namespace {

enum Word { Mirror, Connected, GetFile, SetFile, AllFilesLoaded, HasNeededFiles };

const QList<QByteArray> &words()
{
    static const QList<QByteArray> w = {"MirrorTimerResponse", "Connected", "GetFile",
                                        "SetFile", "AllFilesLoaded", "HasNeededFiles"};
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

ServerReceiver::ServerReceiver(AnnouncedSong announced) : m_announced(std::move(announced)) {}

void ServerReceiver::append(const QByteArray &bytes)
{
    if (m_overflowed)
        return;
    if (m_pos > 0) {
        m_bytes.remove(0, m_pos);
        m_pos = 0;
    }
    m_bytes.append(bytes);
    m_final = false;
}

void ServerReceiver::settle()
{
    m_final = true;
}

void ServerReceiver::clear()
{
    m_bytes.clear();
    m_pos = 0;
    m_skipped = 0;
    m_final = false;
    m_waitsToSettle = false;
    m_overflowed = false;
}

std::optional<WireMessage> ServerReceiver::next()
{
    m_waitsToSettle = false;
    while (!m_overflowed && m_pos < m_bytes.size()) {
        const wireScan::TokenAt at = wireScan::tokenAt(m_bytes, m_pos, tokens());
        if (at.match == wireScan::Match::Partial)
            return std::nullopt;
        if (at.match == wireScan::Match::None) {
            skipUnknown();
            continue;
        }

        const qsizetype start = m_pos + at.length;
        qsizetype end = start;
        if (at.token == GetFile || at.token == SetFile) {
            const qsizetype lineEnd = m_bytes.indexOf(framing::crlf, start);
            if (lineEnd < 0) {
                m_overflowed = m_bytes.size() - m_pos > maxMessageBytes;
                return std::nullopt;
            }
            const qsizetype digitsStart = lineEnd + 2;
            const qsizetype n = wireScan::digitsAt(m_bytes, digitsStart, slotDigits);
            end = digitsStart + n;
            if (end == m_bytes.size() && n < slotDigits && !m_final) {
                const QByteArray path = m_bytes.sliced(start, lineEnd - start);
                const auto announcedHere = [&](int slot) { return m_announced && m_announced(slot, path); };
                // A path outside the song list tells nothing: any slot may follow.
                const bool known = wireScan::slotMayGoOn({}, announcedHere);
                const bool mayGoOn = n == 0 || wireScan::slotMayGoOn(m_bytes.sliced(digitsStart, n), [&](int slot) {
                    return !known || announcedHere(slot);
                });
                if (mayGoOn) {
                    m_waitsToSettle = true;
                    return std::nullopt;
                }
            }
        }

        WireMessage message{words()[at.token], m_bytes.sliced(start, end - start)};
        m_pos = end;
        m_skipped = 0;
        m_final = false;
        return message;
    }
    return std::nullopt;
}

void ServerReceiver::skipUnknown()
{
    bool partial = false;
    qsizetype to = wireScan::findToken(m_bytes, m_pos + 1, tokens(), &partial);
    if (to < 0)
        to = m_bytes.size();
    m_skipped += to - m_pos;
    m_pos = to;
    m_overflowed = m_skipped > maxMessageBytes;
}
