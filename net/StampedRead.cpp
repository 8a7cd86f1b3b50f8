#include "net/StampedRead.h"

#include "core/MonotonicClock.h"

#include <algorithm>
#include <cstring>

#ifdef __linux__
#include <sys/ioctl.h>
#include <sys/socket.h>
#endif

namespace stampedRead {

#ifdef __linux__

bool enable(qintptr descriptor)
{
    const int on = 1;
    return descriptor >= 0 && setsockopt(int(descriptor), SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) == 0;
}

Result read(qintptr descriptor, qint64 maxBytes)
{
    Result result;
    int waiting = 0;
    // Only bytes: a read that met the end or an error would take it from the socket's owner.
    if (descriptor < 0 || ioctl(int(descriptor), FIONREAD, &waiting) != 0 || waiting <= 0)
        return result;
    result.bytes.resize(std::min<qint64>(waiting, maxBytes));
    iovec piece{result.bytes.data(), size_t(result.bytes.size())};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    msghdr message{};
    message.msg_iov = &piece;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t got = recvmsg(int(descriptor), &message, MSG_DONTWAIT);
    result.bytes.resize(got > 0 ? got : 0);
    if (got <= 0)
        return result;
    for (cmsghdr *header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_TIMESTAMPNS)
            continue;
        timespec stamp{};
        std::memcpy(&stamp, CMSG_DATA(header), sizeof stamp);
        // The system stamps on the wall clock; a wall clock set meanwhile leaves it unknown.
        result.receivedAtNs = MonotonicClock::fromWall(stamp.tv_sec, stamp.tv_nsec).value_or(0);
    }
    return result;
}

#else

bool enable(qintptr)
{
    return false;
}

Result read(qintptr, qint64)
{
    return {};
}

#endif

} // namespace stampedRead
