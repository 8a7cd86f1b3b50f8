#pragma once

// The server's record of one connection: greeting and measured response time.
struct ClientInfo {
    bool HasTimerResponse = false;
    int TimerResponse = 0; // milliseconds, half the probe's round trip
    bool IsConnected = false;
    double TempTimerResponse = 0; // seconds on the server's monotonic clock when the probe went out
    // The client asked for the run's clock: it is told the moments of songs on ours.
    bool KeepsRunClock = false;
    int OutputLatencyMs = 0; // how long its sound output holds a sample, as it last said
};
