#pragma once

// While one lives, the calling thread runs ahead of every ordinary process, where the system
// lets it: real-time scheduling at the lowest priority, so sound servers still come first.
// Meant for a few microseconds of work that must not be split, such as a message written to
// every client: a writer put off between two clients starts them apart.
class RealtimeSection {
public:
    RealtimeSection();
    ~RealtimeSection();
    RealtimeSection(const RealtimeSection &) = delete;
    RealtimeSection &operator=(const RealtimeSection &) = delete;

    // False where the system refused (no privilege, no such scheduling): nothing changed then.
    bool active() const { return m_active; }

private:
    bool m_active = false;
    int m_policy = 0;
    int m_priority = 0;
};
