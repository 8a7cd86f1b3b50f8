#pragma once
// Placeholder until the estimator lands: the quickest exchange's offset, no rate.
#include <QtGlobal>
#include <optional>
class RunClock {
public:
    struct Exchange { qint64 localSentNs; qint64 serverReceivedNs; qint64 serverSentNs; qint64 localReceivedNs; };
    void add(const Exchange &e) {
        const qint64 rtt = (e.localReceivedNs - e.localSentNs) - (e.serverSentNs - e.serverReceivedNs);
        if (m_n == 0 || rtt < m_best) { m_best = rtt; m_offset = ((e.serverReceivedNs - e.localSentNs) + (e.serverSentNs - e.localReceivedNs)) / 2; }
        ++m_n;
    }
    bool ready() const { return m_n >= 3; }
    std::optional<qint64> serverAt(qint64 localNs) const { if (!ready()) return std::nullopt; return localNs + m_offset; }
    std::optional<qint64> localAt(qint64 serverNs) const { if (!ready()) return std::nullopt; return serverNs - m_offset; }
    double rate() const { return 0; }
    void clear() { m_n = 0; }
private:
    int m_n = 0; qint64 m_best = 0; qint64 m_offset = 0;
};
