#pragma once

#include <QtGlobal>

// The server's record of one connection: greeting and measured response time.
struct ClientInfo {
    bool HasTimerResponse = false;
    int TimerResponse = 0; // milliseconds, half the probe's round trip
    bool IsConnected = false;
    double TempTimerResponse = 0; // seconds on the server's monotonic clock when the probe went out
    // The client asked for the run's clock: it is told the moments of songs on ours.
    bool KeepsRunClock = false;
    int OutputLatencyMs = 0;      // how long its sound output holds a sample, as it last said
    qint64 AskedClockSinceNs = 0; // when its first ask came, on our monotonic clock
    // Became ready during a run: its song list is on the way.
    bool SongListOwed = false;
    // The moment (server ns) of the song that was playing when it became ready; 0 for none.
    // Told to a client that keeps the run's clock once it has its song list and its first
    // "ClockTell", should that song still be playing then.
    qint64 JoinedDuringNs = 0;
};
