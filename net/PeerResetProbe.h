#pragma once

#include <QtGlobal>

// Tells, once a connection has ended from the far side, whether the peer reset it or
// closed it in order. Qt reports both alike and has closed its own handle by then, so this
// keeps a second handle on the connection whose TCP state can still be read.
class PeerResetProbe {
public:
    PeerResetProbe() = default;
    PeerResetProbe(const PeerResetProbe &) = delete;
    PeerResetProbe &operator=(const PeerResetProbe &) = delete;
    ~PeerResetProbe() { release(); }

    // Starts watching the connected socket `descriptor`.
    void watch(qintptr descriptor);
    // True when the connection was reset: it went straight to closed, where an orderly end
    // from the peer leaves it waiting for our own close.
    bool wasReset() const;
    // Lets the second handle go. Until then our own end of the connection stays open, so
    // this runs whenever the connection is closed, from either side.
    void release();

private:
    int m_fd = -1;
};
