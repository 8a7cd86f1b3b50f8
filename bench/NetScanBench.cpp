// Receive-path benchmark: how long each receiver takes to cut one 1 MiB read of hostile
// junk (an unknown byte before every word) and one of plain back-to-back messages, and to
// follow an unfinished message up to its cap in reads of 16 bytes.
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

// An unfinished message of `bytes` bytes in reads of 16 bytes, looked at after each.
template <typename R> void measureSmallReads(const char *name, R &receiver, const QByteArray &start, qsizetype bytes)
{
    const QByteArray all = start + QByteArray(bytes - start.size(), 'p');
    QElapsedTimer timer;
    timer.start();
    for (qsizetype at = 0; at < all.size(); at += 16) {
        receiver.append(all.mid(at, 16), ReceiveBuffer::nowNs());
        while (receiver.next()) {
        }
    }
    std::printf("%-36s %7.1f ms %8lld positions examined\n", name, static_cast<double>(timer.nsecsElapsed()) / 1e6,
                static_cast<long long>(receiver.bytesExamined()));
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
    for (const char *start : {"SetFileDone\r\n", "SkipFile\r\n", "PutFileReady\r\n"}) {
        ClientReceiver unfinished;
        measureSmallReads((QByteArray("client, 1 MiB unfinished ") + QByteArray(start).trimmed()).constData(),
                          unfinished, start, ClientReceiver::maxMessageBytes - 100);
    }
    for (const char *start : {"GetFile\r\n", "SetFile\r\n"}) {
        ServerReceiver unfinished;
        measureSmallReads((QByteArray("server, 64 KiB unfinished ") + QByteArray(start).trimmed()).constData(),
                          unfinished, start, ServerReceiver::maxMessageBytes - 100);
    }
    return 0;
}
