#include "net/RunAttendance.h"

#include "core/SessionState.h"
#include "net/ServerRole.h"

void RunAttendance::watch(const ServerRole &server, const SessionState &session)
{
    connect(&session, &SessionState::runActiveChanged, this, [this, &server](bool active) {
        if (!active) {
            runStopped();
            return;
        }
        QList<int> ready;
        for (int i = 1; i <= ServerRole::lastIndex; ++i) {
            if (server.isReady(i))
                ready.append(i);
        }
        runStarted(ready);
    });
    connect(&server, &ServerRole::clientReady, this, &RunAttendance::clientReady);
    connect(&server, &ServerRole::clientGone, this, &RunAttendance::clientGone);
    connect(&server, &ServerRole::allFilesLoadedReceived, this, &RunAttendance::allFilesLoaded);
}

void RunAttendance::runStarted(const QList<int> &ready)
{
    m_active = true;
    m_inRun = QSet<int>(ready.begin(), ready.end());
    m_holdingAll.clear();
    Q_EMIT runChanged(true, inRun(), holdingAll());
}

void RunAttendance::runStopped()
{
    if (!m_active)
        return;
    m_active = false;
    m_inRun.clear();
    m_holdingAll.clear();
    Q_EMIT runChanged(false, 0, 0);
}

void RunAttendance::clientReady(int index)
{
    if (!m_active || m_inRun.contains(index))
        return;
    m_inRun.insert(index);
    Q_EMIT joined(index, inRun(), holdingAll());
}

void RunAttendance::clientGone(int index)
{
    if (!m_inRun.remove(index))
        return;
    m_holdingAll.remove(index);
    Q_EMIT left(index, inRun(), holdingAll());
}

void RunAttendance::allFilesLoaded(int index)
{
    // A client reports it once per song list; a repeat changes nothing.
    if (!m_inRun.contains(index) || m_holdingAll.contains(index))
        return;
    m_holdingAll.insert(index);
    Q_EMIT holdsAll(index, inRun(), holdingAll());
}
