#pragma once

#include <QtGlobal>

#include <optional>
#include <vector>

// An estimate of the server's monotonic clock against ours (offset and rate), kept from
// ask/answer exchanges with four stamps each; the quickest ways carry the truth.
//
// Each exchange bounds the server's clock from both sides: it was no later than the ask's
// arrival on the server's clock when the ask left us, and no earlier than the answer's
// departure when the answer reached us. Delays only ever widen these bounds, so the line
// (offset and rate) is the centre of the widest band that every exchange of the last two
// minutes leaves open: the quickest way out and the quickest way back pin it, even when no
// single exchange was quick both ways (a busy radio), and delays on one way (a file
// transfer) do not move it.
//
// What it promises, against the truth shifted by half a constant path asymmetry (which no
// exchange can show), for any offset and rates up to ±1000 ppm that wander slowly:
// - asked every 100 ms or faster for the first second and every second or faster later, it
//   is ready() after about a second on a clean link, later on a noisy one, and from then on
//   within 0.1 ms of the truth as long as quick ways keep coming at least every few seconds;
// - before ready() its answers are the best the exchanges so far allow (localAtRoughly);
// - without quick exchanges the error grows by the rate's uncertainty; up to ten minutes of
//   exchanges all delayed are crossed on the rate, a path that stays slower than that is
//   then taken as it is;
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
    // As localAt once ready(); before that, from the exchanges so far, off by at most half the
    // quickest way out and back (and by the rate, barely known yet): far closer than counting
    // from when a message arrived. Nothing before the first exchange.
    std::optional<qint64> localAtRoughly(qint64 serverNs) const;
    // Server nanoseconds per local nanosecond, minus 1 (80e-6 for a server 80 ppm fast); 0
    // until ready().
    double rate() const { return ready() ? m_rate : 0.0; }
    // A new connection, maybe to another server: forget everything.
    void clear();

private:
    // One exchange, or the best ways of the exchanges that came within a bucket.
    struct Sample {
        qint64 localNs;     // midpoint of the quickest exchange on our clock
        qint64 offsetNs;    // its server's midpoint minus ours
        qint64 roundTripNs; // its time on the way, without the server's hold
        // The bounds: the server's clock minus ours is at most `aboveNs` at `aboveAtNs` (the
        // ask's arrival against its departure) and at least `belowNs` at `belowAtNs` (the
        // answer's departure against its arrival).
        qint64 aboveAtNs, aboveNs, belowAtNs, belowNs;
        bool quick = false; // close to the quickest round trip, as of the last fit
    };

    bool isStep(const Sample &sample) const;
    void store(const Sample &sample);
    void dropOldest();
    void fit();
    // The band every sample leaves open for a line of slope `rate` through the newest sample's
    // moment: its upper and lower edge there, relative to that sample's offset. Only the
    // corners of the bounds' hulls can be closest to such a line: findCorners() keeps them.
    struct Point {
        double atNs;
        double boundNs;
    };
    void findCorners();
    void band(double rate, double &upperNs, double &lowerNs) const;
    const Sample &at(int index) const;

    std::vector<Sample> m_ring;
    int m_first = 0;
    int m_count = 0;
    std::vector<Sample> m_stepSamples;
    std::vector<double> m_gapsNs;
    std::vector<Point> m_points;
    std::vector<Point> m_aboveCorners; // lower hull of the upper bounds
    std::vector<Point> m_belowCorners; // upper hull of the lower bounds
    double m_spreadNs = 0;             // the median bound's distance from the band, as of the last fit
    int m_quickCount = 0;

    bool m_fitted = false;
    bool m_ready = false;
    qint64 m_anchorLocalNs = 0;
    qint64 m_anchorOffsetNs = 0;
    double m_rate = 0.0;
};
