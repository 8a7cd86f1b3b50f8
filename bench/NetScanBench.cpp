// Receive-path benchmark: how long each receiver takes to cut one 1 MiB read of hostile
// junk (an unknown byte before every word) and one of plain back-to-back messages.
//   tunvero_net_bench
#include "net/ClientReceiver.h"
#include "net/ServerReceiver.h"

#include <QElapsedTimer>

#include <cstdio>

namespace {

template <typename R> void measure(const char *name, R &receiver, const QByteArray &unit)
{
    const QByteArray bytes = unit.repeated((1024 * 1024) / unit.size());
    QElapsedTimer timer;
    timer.start();
    receiver.append(bytes, ReceiveBuffer::nowNs());
    int messages = 0;
    while (receiver.next())
        ++messages;
    std::printf("%-36s %7d messages %7.1f ms %8lld positions examined\n", name, messages,
                static_cast<double>(timer.nsecsElapsed()) / 1e6, static_cast<long long>(receiver.bytesExamined()));
}

} // namespace

int main()
{
    ServerReceiver junkToServer;
    measure("server, 1 MiB of x+AllFilesLoaded", junkToServer, "xAllFilesLoaded\r\n");
    ServerReceiver greetings;
    measure("server, 1 MiB of Connected", greetings, "Connected\r\n");
    ClientReceiver junkToClient;
    measure("client, 1 MiB of x+StopAllMusic", junkToClient, "xStopAllMusic\r\n");
    ClientReceiver probes;
    measure("client, 1 MiB of TimerResponse", probes, "TimerResponse\r\n");
    return 0;
}
