#pragma once

#include <QList>
#include <QObject>
#include <QSet>

class ServerRole;
class SessionState;

// Who takes part in the server's run: the clients ready for broadcasts while it is active, and
// how many of them hold every song ("AllFilesLoaded"). Clients ready at the start are in the
// run from its start; one that becomes ready later joins it.
class RunAttendance : public QObject {
    Q_OBJECT
public:
    explicit RunAttendance(QObject *parent = nullptr) : QObject(parent) {}

    // Follows the role's clients and the session's run.
    void watch(const ServerRole &server, const SessionState &session);

    // `ready`: the clients ready when the run starts.
    void runStarted(const QList<int> &ready);
    void runStopped();
    void clientReady(int index);
    void clientGone(int index);
    void allFilesLoaded(int index);

    bool runActive() const { return m_active; }
    int inRun() const { return int(m_inRun.size()); }
    int holdingAll() const { return int(m_holdingAll.size()); }

Q_SIGNALS:
    // Each with the counts after the event.
    void joined(int index, int inRun, int holdingAll);
    void left(int index, int inRun, int holdingAll);
    void holdsAll(int index, int inRun, int holdingAll);
    // A run started (with the counts of its start) or stopped (active false).
    void runChanged(bool active, int inRun, int holdingAll);

private:
    bool m_active = false;
    QSet<int> m_inRun;
    QSet<int> m_holdingAll;
};
