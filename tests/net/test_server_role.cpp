// The server role over real loopback sockets with raw QTcpSocket clients: numbering,
// refusals, the probe, the exact bytes of every sender, and peers that leave mid-handler,
// flood or never read.
#include "net/ReadPump.h"
#include "net/ResponseTime.h"
#include "net/ServerRole.h"
#include "tests/net/Loopback.h"

#include <QSignalSpy>
#include <QTcpServer>

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <vector>

namespace {

class ServerRoleTest : public ::testing::Test {
protected:
    ServerRoleTest() : server(session, nullptr, [this] { return clockSeconds; })
    {
        server.setListenAddress(QHostAddress::LocalHost);
    }

    void SetUp() override
    {
        ASSERT_TRUE(server.listen(0));
        session.setAcceptNewClients(true);
    }

    // A raw client; returns the index the server gave it, or -1 when it was refused.
    int connectClient()
    {
        QSignalSpy accepted(&server, &ServerRole::clientAccepted);
        peers.push_back(std::make_unique<QTcpSocket>());
        peers.back()->connectToHost(QHostAddress::LocalHost, server.listeningPort());
        // A refused connection is closed at once.
        (void)QTest::qWaitFor(
            [&] { return accepted.count() > 0 || peers.back()->state() == QAbstractSocket::UnconnectedState; }, waitMs);
        return accepted.isEmpty() ? -1 : accepted.first().first().toInt();
    }

    void leave(int n)
    {
        QSignalSpy gone(&server, &ServerRole::clientGone);
        peers[n]->disconnectFromHost();
        ASSERT_TRUE(gone.wait(waitMs));
    }

    // Greets, then answers the probe with the clock gone from `sent` to `answered`.
    void makeReady(int n, double sent, double answered)
    {
        clockSeconds = sent;
        peers[n]->write("Connected\r\n");
        ASSERT_EQ(readBytes(*peers[n], 15), QByteArray("TimerResponse\r\n"));
        clockSeconds = answered;
        peers[n]->write("MirrorTimerResponse\r\n");
        ASSERT_TRUE(QTest::qWaitFor([&] { return server.isReady(n + 1); }, waitMs));
    }

    double clockSeconds = 0;
    SessionState session;
    ServerRole server;
    std::vector<std::unique_ptr<QTcpSocket>> peers;
};

TEST_F(ServerRoleTest, NoRecordWhileNotAcceptingThe201stIsRefusedAndAFreedSlotIsTakenAgain)
{
    session.setAcceptNewClients(false);
    EXPECT_EQ(connectClient(), -1);
    EXPECT_FALSE(server.client(1).has_value());
    session.setAcceptNewClients(true);
    peers.clear();
    for (int i = 1; i <= ServerRole::lastIndex; ++i)
        ASSERT_EQ(connectClient(), i);
    EXPECT_EQ(connectClient(), -1);
    // The others are untouched: connection 200 still answers.
    peers[199]->write("Connected\r\n");
    EXPECT_EQ(readBytes(*peers[199], 15), QByteArray("TimerResponse\r\n"));
    // Past the last slot, a newcomer takes the lowest free one, the last slot too.
    leave(199);
    EXPECT_EQ(connectClient(), 200);
    leave(6);
    EXPECT_EQ(connectClient(), 7);
}

TEST_F(ServerRoleTest, ProbeStoresHalfTheRoundTripRoundedHalfToEvenAndStaysInRange)
{
    EXPECT_EQ(responseTime::roundHalfToEven(2.5), 2);
    EXPECT_EQ(responseTime::roundHalfToEven(3.5), 4);
    ASSERT_EQ(connectClient(), 1);
    makeReady(0, 1000.0, 1000.05);
    EXPECT_EQ(server.client(1)->TimerResponse, 25);

    // A round trip beyond what an int holds saturates; the timed broadcast still gives
    // every client a delay it accepts.
    ASSERT_EQ(connectClient(), 2);
    makeReady(1, 0, 1e10);
    EXPECT_EQ(server.client(2)->TimerResponse, std::numeric_limits<int>::max());
    // An answer with no probe sent measures nothing; that client stays unready.
    ASSERT_EQ(connectClient(), 3);
    clockSeconds = 1e300;
    peers[2]->write("MirrorTimerResponse\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.client(3)->HasTimerResponse; }, waitMs));
    EXPECT_EQ(server.client(3)->TimerResponse, 0);
    EXPECT_FALSE(server.isReady(3));
    server.SendMessageAllByTimer("StopAllMusic", "");
    const QByteArray fast = "WaitBefore:65535\r\nStopAllMusic\r\n";
    const QByteArray slow = "WaitBefore:0\r\nStopAllMusic\r\n";
    EXPECT_EQ(readBytes(*peers[0], fast.size()), fast);
    EXPECT_EQ(readBytes(*peers[1], slow.size()), slow);
    EXPECT_EQ(responseTime::envelopeOffsets({std::numeric_limits<int>::min(), 10, -5}), (QList<int>{65535, 0, 15}));
}

TEST_F(ServerRoleTest, SendersPutExactlyTheirBytesOnTheWireAndBroadcastsReachOnlyReadyClients)
{
    for (int i = 1; i <= 4; ++i)
        ASSERT_EQ(connectClient(), i);
    makeReady(0, 0, 0.020);
    makeReady(1, 0, 0.080);
    makeReady(2, 0, 0.050);
    // Client 4 greets but never answers the probe.
    peers[3]->write("Connected\r\n");
    ASSERT_EQ(readBytes(*peers[3], 15), QByteArray("TimerResponse\r\n"));

    const QByteArray chunk("\xFF\xFB\r\n\0piece", 10);
    server.Send(1, "SkipFiles", " ");
    server.Send(1, chunk, "");
    server.Send(1, "DoGetFile", " ");
    server.SendMessageAll("StopAllMusic", "");
    server.SendMessageAll("SetMusic", "/a.mp3\r\n/b.mp3");
    EXPECT_EQ(server.announcedSongs(), (QList<QByteArray>{"/a.mp3", "/b.mp3"}));
    // Times 10, 40 and 25 ms: the slowest waits 0, the others the difference.
    server.SendMessageAllByTimer("PlayMusic", "0");
    const QByteArray broadcast = "StopAllMusic\r\nSetMusic\r\n/a.mp3\r\n/b.mp3WaitBefore:";
    const QByteArray expected[] = {"SkipFiles\r\n " + chunk + "DoGetFile\r\n " + broadcast + "30\r\nPlayMusic\r\n0",
                                   broadcast + "0\r\nPlayMusic\r\n0", broadcast + "15\r\nPlayMusic\r\n0"};
    for (int n = 0; n < 3; ++n)
        EXPECT_EQ(readBytes(*peers[n], expected[n].size()), expected[n]) << n;
    // Whatever reaches it arrives before this marker.
    server.Send(4, "X", "");
    EXPECT_EQ(readBytes(*peers[3], 1), QByteArray("X"));
}

TEST_F(ServerRoleTest, AFailedListenerListensAgainOrSaysWhyNot)
{
    const quint16 port = server.listeningPort();
    server.sckServer_ListenError();
    EXPECT_EQ(connectClient(), 1);
    // When the port has been taken meanwhile, listening again fails, and says so.
    QSignalSpy listenFailed(&server, &ServerRole::listenFailed);
    server.closeListening();
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::LocalHost, port));
    server.sckServer_ListenError();
    ASSERT_EQ(listenFailed.count(), 1);
    EXPECT_EQ(listenFailed.first().first().value<quint16>(), port);
}

TEST_F(ServerRoleTest, AnErrorOnAGoneConnectionSweepsAndTheCounterGoesOnFromTheHighestLiveIndex)
{
    for (int i = 1; i <= 4; ++i)
        ASSERT_EQ(connectClient(), i);
    leave(3);
    leave(1);
    // The error of a connection still open drops it alone.
    QSignalSpy gone(&server, &ServerRole::clientGone);
    server.sckServer_Error(1);
    ASSERT_EQ(gone.count(), 1);
    EXPECT_EQ(gone.first().first().toInt(), 1);
    EXPECT_EQ(server.lastClientIndex(), 4);
    // The error of one already gone: the highest live index is 3, so the next is 4.
    server.sckServer_Error(4);
    EXPECT_EQ(server.lastClientIndex(), 3);
    EXPECT_EQ(connectClient(), 4);
}

TEST_F(ServerRoleTest, AHandlerThatWaitsWhileItsClientLeavesDoesNotTouchTheGoneConnection)
{
    ASSERT_EQ(connectClient(), 1);
    // Like a message box over a request: the event loop runs on inside the handler, and
    // there the client leaves and its connection is deleted.
    QSignalSpy gone(&server, &ServerRole::clientGone);
    QObject::connect(&server, &ServerRole::getFileReceived, &server, [&] {
        peers[0]->disconnectFromHost();
        (void)QTest::qWaitFor([&] { return gone.count() > 0; }, waitMs);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    });
    QSignalSpy loaded(&server, &ServerRole::allFilesLoadedReceived);
    peers[0]->write("GetFile\r\n/a.mp3\r\n1AllFilesLoaded\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return gone.count() > 0; }, waitMs));
    QTest::qWait(50);
    EXPECT_EQ(loaded.count(), 0);
    EXPECT_EQ(connectClient(), 2);
}

TEST_F(ServerRoleTest, APeerThatNeverReadsOrFloodsCostsBoundedMemoryAndDelaysNoOther)
{
    ASSERT_EQ(connectClient(), 1);
    ASSERT_EQ(connectClient(), 2);
    // Peer 1 greets again and again and reads none of the answers (Qt would read for it;
    // a small read buffer makes it stop).
    peers[0]->setReadBufferSize(1024);
    peers[0]->write(QByteArray("Connected\r\n").repeated(4 * 1024 * 1024));
    qint64 most = 0;
    const auto watch = [&] {
        most = std::max(most, server.unsentBytes(1));
        return most > ReadPump::pauseAboveUnsentBytes;
    };
    ASSERT_TRUE(QTest::qWaitFor(watch, waitMs));
    // Peer 2 is greeted meanwhile.
    peers[1]->write("Connected\r\n");
    EXPECT_EQ(readBytes(*peers[1], 15), QByteArray("TimerResponse\r\n"));
    for (int i = 0; i < 20; ++i) {
        QTest::qWait(10);
        watch();
    }
    EXPECT_LE(most, ReadPump::pauseAboveUnsentBytes + 15);

    // What a peer cannot take at all is not queued: a write past the cap drops it.
    QSignalSpy gone(&server, &ServerRole::clientGone);
    server.Send(1, QByteArray(ReadPump::maxUnsentBytes, 'x'), "");
    ASSERT_EQ(gone.count(), 1);
    EXPECT_FALSE(server.client(1).has_value());
    EXPECT_TRUE(server.client(2).has_value());

    // Nor is a flood of bytes that make no message.
    peers[1]->write(QByteArray(256 * 1024, '\x01'));
    ASSERT_TRUE(gone.wait(waitMs));
    EXPECT_FALSE(server.client(2).has_value());
}

} // namespace
