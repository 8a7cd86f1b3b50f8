#include "net/PeerResetProbe.h"

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

void PeerResetProbe::watch(qintptr descriptor)
{
    release();
#ifdef Q_OS_LINUX
    if (descriptor >= 0)
        m_fd = ::fcntl(static_cast<int>(descriptor), F_DUPFD_CLOEXEC, 0);
#else
    Q_UNUSED(descriptor);
#endif
}

bool PeerResetProbe::wasReset() const
{
#ifdef Q_OS_LINUX
    if (m_fd < 0)
        return false;
    tcp_info info{};
    socklen_t length = sizeof info;
    if (::getsockopt(m_fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0)
        return false;
    // A reset leaves the connection closed; the peer's orderly end leaves it in close-wait
    // (or later, once our own end is closing too).
    return info.tcpi_state == TCP_CLOSE;
#else
    return false;
#endif
}

void PeerResetProbe::release()
{
#ifdef Q_OS_LINUX
    if (m_fd >= 0)
        ::close(m_fd);
#endif
    m_fd = -1;
}
