#pragma once

#include <QtGlobal>

#include <optional>
#include <vector>

// An estimate of the server's monotonic clock against ours (offset and rate), kept from
// ask/answer exchanges with four stamps each; the quickest exchanges carry the truth.
//
// Each exchange gives the offset at its midpoint, off by half the difference of its two
// one-way delays: by at most half of how much its round trip exceeds the quickest one. A line
// (offset and rate) is fitted through the last two minutes of exchanges, the quick ones
// weighing most and those more than 2 ms above the quickest not at all, so that delays on one
// way (a file transfer, a busy radio) do not move it, and the rate carries it across them.
//
// What it promises, against the truth shifted by half a constant path asymmetry (which no
// exchange can show), for any offset and rates up to ±1000 ppm that wander slowly:
// - asked every 100 ms for the first second and every second or faster later, it is ready()
//   after about a second on a clean link, later the scarcer quick exchanges (round trips
//   within 0.1 ms of the quickest) are, and from then on within 0.1 ms of the truth as long
//   as quick exchanges keep coming at least every few seconds;
// - without quick exchanges the error grows by the rate's uncertainty: some 10-20 ppm at
//   first, under 0.1 ppm after a minute; up to ten minutes of exchanges all delayed are
//   crossed on the rate, a path that stays slower than that is then taken as it is;
// - a step of one clock against the other (a computer that slept) is followed after three
//   exchanges that agree on it; ready() is false from the first of them until the new line is
//   known again.
// Exchanges with absurd stamps (negative, out of order, a round trip or a server hold of more
// than 5 s) are ignored. Memory is bounded; nothing allocates after construction.
class RunClock {
public:
    struct Exchange {
        qint64 localSentNs = 0;
        qint64 serverReceivedNs = 0;
        qint64 serverSentNs = 0;
        qint64 localReceivedNs = 0;
    };

    RunClock();

    // Takes one finished exchange; false when its stamps were absurd and it was ignored.
    bool add(const Exchange &exchange);
    // Whether the answers below can be trusted to the promise above.
    bool ready() const { return m_ready && m_stepSamples.empty(); }
    // The server's moment for ours, and ours for the server's; nothing until ready().
    std::optional<qint64> serverAt(qint64 localNs) const;
    std::optional<qint64> localAt(qint64 serverNs) const;
    // As localAt once ready(); before that, from the quickest exchange so far, off by at most
    // half its round trip (and by the rate, unknown yet): far closer than counting from when a
    // message arrived. Nothing before the first exchange.
    std::optional<qint64> localAtRoughly(qint64 serverNs) const;
    // Server nanoseconds per local nanosecond, minus 1 (80e-6 for a server 80 ppm fast); 0
    // until ready().
    double rate() const { return ready() ? m_rate : 0.0; }
    // A new connection, maybe to another server: forget everything.
    void clear();

private:
    struct Sample {
        qint64 localNs;     // midpoint of the exchange on our clock
        qint64 offsetNs;    // the server's midpoint minus ours
        qint64 roundTripNs; // time on the way, without the server's hold
        bool quick = false; // close to the quickest round trip, as of the last fit
    };

    bool isStep(const Sample &sample) const;
    void store(const Sample &sample);
    void dropOldest();
    void fit();
    const Sample &at(int index) const;

    std::vector<Sample> m_ring;
    int m_first = 0;
    int m_count = 0;
    std::vector<Sample> m_stepSamples;
    // Per exchange, as of the last fit: its round trip above the quickest near it, its weight.
    std::vector<double> m_excessNs;
    std::vector<double> m_weights;
    std::vector<double> m_sorted;
    int m_quickCount = 0;

    bool m_fitted = false;
    bool m_ready = false;
    qint64 m_anchorLocalNs = 0;
    qint64 m_anchorOffsetNs = 0;
    double m_rate = 0.0;
};
