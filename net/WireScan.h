#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <functional>

// Helpers the two receivers share to find where messages begin and numbers end in a
// byte stream. A token is a command word with its CR LF ("GetFile\r\n"), or a word that
// carries its own number before the CR LF ("WaitBefore:").
namespace wireScan {

enum class Match { None, Partial, Full };

struct TokenAt {
    Match match = Match::None;
    int token = -1;       // index into the token list when Full
    qsizetype length = 0; // bytes of the token when Full
};

// Which token the bytes at `pos` begin with. Partial: the bytes from `pos` to the end are
// a proper beginning of some token, so more bytes must be seen before deciding.
TokenAt tokenAt(const QByteArray &bytes, qsizetype pos, const QList<QByteArray> &tokens);

// The first position at or after `from` where a whole token begins, or where the bytes up
// to the end are the beginning of one. `partial` tells which. -1 when there is neither.
// Adds the number of positions looked at to `examined`: never more than the bytes passed.
qsizetype findToken(const QByteArray &bytes, qsizetype from, const QList<QByteArray> &tokens, bool *partial,
                    qsizetype *examined = nullptr);

// The first position from `from` up to `to` (exclusive) where `what` begins whole, or else
// where the bytes up to the end are a proper beginning of it (`partial`). -1 when neither:
// then no position before `to` can ever hold it. Adds the positions passed to `examined`.
qsizetype findWithin(const QByteArray &bytes, qsizetype from, qsizetype to, QByteArrayView what, bool *partial,
                     qsizetype *examined);

// Whether `what` stands at `pos`: Partial when the bytes end before it does and agree so far.
Match standsAt(const QByteArray &bytes, qsizetype pos, QByteArrayView what);

// Number of ASCII digits at `pos`, at most `maxDigits`.
qsizetype digitsAt(const QByteArray &bytes, qsizetype pos, qsizetype maxDigits);

// Song slots are 0 to 200, written in decimal without leading zeros. True when some slot
// that `possible` accepts is written as `digits` followed by at least one more digit, so a
// number that ends with the received bytes may still go on. Empty `digits`: whether
// `possible` accepts any slot at all.
bool slotMayGoOn(const QByteArray &digits, const std::function<bool(int slot)> &possible);

// The highest song slot; a run holds slots 0 to 200.
inline constexpr int lastSlot = 200;

// Lines of a song list as "SetMusic" carries it: at most 201, an empty line ends the list.
QList<QByteArray> songLines(const QByteArray &data);

} // namespace wireScan
