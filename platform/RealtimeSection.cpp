#include "platform/RealtimeSection.h"

#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <pthread.h>
#include <sched.h>
#endif

RealtimeSection::RealtimeSection()
{
#ifdef Q_OS_UNIX
    sched_param previous{};
    if (pthread_getschedparam(pthread_self(), &m_policy, &previous) != 0 || m_policy == SCHED_FIFO ||
        m_policy == SCHED_RR)
        return;
    m_priority = previous.sched_priority;
    sched_param urgent{};
    urgent.sched_priority = sched_get_priority_min(SCHED_FIFO);
    m_active = pthread_setschedparam(pthread_self(), SCHED_FIFO, &urgent) == 0;
#endif
}

RealtimeSection::~RealtimeSection()
{
#ifdef Q_OS_UNIX
    if (!m_active)
        return;
    sched_param previous{};
    previous.sched_priority = m_priority;
    pthread_setschedparam(pthread_self(), m_policy, &previous);
#endif
}
