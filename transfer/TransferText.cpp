#include "transfer/TransferText.h"

#include <cmath>

namespace transferText {

QByteArray pathOf(const QByteArray &data)
{
    const qsizetype end = data.indexOf("\r\n");
    return end < 0 ? data : data.left(end);
}

std::optional<int> slotOf(const QByteArray &data)
{
    const qsizetype end = data.indexOf("\r\n");
    if (end < 0)
        return std::nullopt;
    const QByteArray digits = data.sliced(end + 2);
    if (digits.isEmpty() || digits.size() > 3)
        return std::nullopt;
    int slot = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        slot = slot * 10 + (c - '0');
    }
    if (slot > lastSlot)
        return std::nullopt;
    return slot;
}

double shownValue(double percent)
{
    return percent >= emptyBar && percent <= 100.0 ? percent : emptyBar;
}

double receivedPercent(qint64 received, qint64 expected)
{
    const double size = expected <= 0 ? 0.1 : static_cast<double>(expected);
    // nearbyint rounds to even in the default rounding mode.
    return std::nearbyint(static_cast<double>(received) / size * 100.0);
}

} // namespace transferText
