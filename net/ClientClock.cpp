#include "net/ClientClock.h"

#include "core/MonotonicClock.h"
#include "net/RunClockWords.h"

ClientClock::ClientClock(Write write, QObject *parent) : QObject(parent), m_write(std::move(write))
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ClientClock::askAgain);
}

QByteArray ClientClock::firstAsk()
{
    // One per connection: a server that probes again is asked nothing more.
    return m_asked == 0 ? ask() : QByteArray();
}

QByteArray ClientClock::ask()
{
    const quint32 number = m_next++;
    const int latency = m_latencyMs ? std::max(0, m_latencyMs()) : 0;
    m_sentNs[number % m_sentNs.size()] = MonotonicClock::nowNs();
    ++m_asked;
    return runClockWords::askBytes({number, latency});
}

void ClientClock::askAgain()
{
    m_write(ask());
    m_timer.setInterval(m_asked < firstAsks ? firstAskEveryMs : askEveryMs);
}

void ClientClock::answered(const QByteArray &data, qint64 arrivalNs, bool ownRead)
{
    const std::optional<runClockWords::Tell> tell = runClockWords::parseTell(data);
    if (!tell || tell->number >= m_next || m_next - tell->number > m_sentNs.size())
        return;
    if (ownRead)
        m_clock.add({m_sentNs[tell->number % m_sentNs.size()], tell->receivedNs, tell->sentNs, arrivalNs});
    if (!m_serverKeepsClock) {
        m_serverKeepsClock = true;
        m_timer.start(firstAskEveryMs);
    }
}

void ClientClock::connectionEnded()
{
    m_timer.stop();
    m_clock.clear();
    m_serverKeepsClock = false;
    m_asked = 0;
}
