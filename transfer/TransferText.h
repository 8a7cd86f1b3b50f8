#pragma once

#include <QByteArray>

#include <optional>

// Small rules both sides of the transfer share: the request data, the progress bar's value.
namespace transferText {

// The highest song slot: a run holds slots 0 to 200.
inline constexpr int lastSlot = 200;

// The path line of request data "path CR LF n": the bytes before the first CR LF.
QByteArray pathOf(const QByteArray &data);

// The slot number after the first CR LF: one to three ASCII digits worth 0 to 200, nothing
// else. Nothing for any other text, so a malformed request is never taken for slot 0.
std::optional<int> slotOf(const QByteArray &data);

// The progress bar runs from 0.0001 (empty) to 100; anything outside shows as empty.
inline constexpr double emptyBar = 0.0001;
double shownValue(double percent);

// Received / expected as a whole percentage, a half going to the even neighbour; an expected
// size of 0 or less counts as 0.1 bytes.
double receivedPercent(qint64 received, qint64 expected);

} // namespace transferText
