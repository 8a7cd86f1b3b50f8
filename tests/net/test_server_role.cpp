// The server role over real loopback sockets with raw QTcpSocket clients: numbering,
// refusals, the greeting and probe, and the exact bytes of every sender.
#include "net/ResponseTime.h"
#include "net/ServerRole.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

constexpr int waitMs = 10000;

class ServerRoleTest : public ::testing::Test {
protected:
    ServerRoleTest() : server(nullptr, [this] { return clockSeconds; })
    {
        server.setListenAddress(QHostAddress::LocalHost);
    }

    void SetUp() override { switchOn(); }

    void switchOn()
    {
        ASSERT_TRUE(server.listen(0));
        server.AcceptNewClients = true;
    }

    void switchOff()
    {
        server.AcceptNewClients = false;
        server.dropAllConnections();
        server.closeListening();
        server.LastClientIndex = 0;
    }

    // A raw client; returns the index the server gave it.
    int connectClient()
    {
        QSignalSpy accepted(&server, &ServerRole::clientAccepted);
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, server.listeningPort());
        if (!accepted.wait(waitMs))
            return -1;
        peers.push_back(std::move(socket));
        return accepted.first().first().toInt();
    }

    QTcpSocket &peer(int n) { return *peers[n]; }

    // Reads until `count` bytes have come.
    static QByteArray readBytes(QTcpSocket &socket, qsizetype count)
    {
        QByteArray got;
        (void)QTest::qWaitFor([&] {
            got += socket.readAll();
            return got.size() >= count;
        }, waitMs);
        return got;
    }

    // Greets and answers the probe, with the clock at `sent` and `answered`.
    void makeReady(int n, int index, double sent, double answered)
    {
        clockSeconds = sent;
        peer(n).write("Connected\r\n");
        ASSERT_EQ(readBytes(peer(n), 15), QByteArray("TimerResponse\r\n"));
        clockSeconds = answered;
        peer(n).write("MirrorTimerResponse\r\n");
        ASSERT_TRUE(QTest::qWaitFor([&] { return server.isReady(index); }, waitMs));
    }

    double clockSeconds = 0;
    ServerRole server;
    std::vector<std::unique_ptr<QTcpSocket>> peers;
};

TEST_F(ServerRoleTest, NumbersConnectionsUpwardAndFromOneAfterTheRoleIsSwitchedOffAndOn)
{
    EXPECT_EQ(connectClient(), 1);
    EXPECT_EQ(connectClient(), 2);
    ASSERT_TRUE(server.Clients[1] && server.Clients[2]);
    EXPECT_FALSE(server.Clients[1]->IsConnected || server.Clients[1]->HasTimerResponse);

    QSignalSpy gone(&server, &ServerRole::clientGone);
    peer(0).disconnectFromHost();
    ASSERT_TRUE(gone.wait(waitMs));
    EXPECT_EQ(gone.first().first().toInt(), 1);
    EXPECT_FALSE(server.Clients[1].has_value());
    EXPECT_EQ(connectClient(), 3);

    switchOff();
    EXPECT_TRUE(QTest::qWaitFor([&] { return peer(1).state() == QAbstractSocket::UnconnectedState; }, waitMs));
    switchOn();
    EXPECT_EQ(connectClient(), 1);
}

TEST_F(ServerRoleTest, ARequestWhileNotAcceptingIsClosedWithoutARecord)
{
    server.AcceptNewClients = false;
    QSignalSpy accepted(&server, &ServerRole::clientAccepted);
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, server.listeningPort());
    EXPECT_TRUE(QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, waitMs));
    EXPECT_EQ(accepted.count(), 0);
    for (const auto &client : server.Clients)
        EXPECT_FALSE(client.has_value());
}

TEST_F(ServerRoleTest, The201stConnectionIsRefusedAndAFreedSlotIsTakenAgain)
{
    for (int i = 1; i <= ServerRole::lastIndex; ++i)
        ASSERT_EQ(connectClient(), i);

    QTcpSocket extra;
    extra.connectToHost(QHostAddress::LocalHost, server.listeningPort());
    EXPECT_TRUE(QTest::qWaitFor([&] { return extra.state() == QAbstractSocket::UnconnectedState; }, waitMs));
    EXPECT_EQ(server.LastClientIndex, 200);

    // The others are untouched: connection 200 still answers.
    peer(199).write("Connected\r\n");
    EXPECT_EQ(readBytes(peer(199), 15), QByteArray("TimerResponse\r\n"));

    // Past the last slot, a newcomer takes the lowest free one.
    QSignalSpy gone(&server, &ServerRole::clientGone);
    peer(6).disconnectFromHost();
    ASSERT_TRUE(gone.wait(waitMs));
    EXPECT_EQ(connectClient(), 7);
}

TEST_F(ServerRoleTest, ProbeStoresHalfTheRoundTripRoundedHalfToEven)
{
    EXPECT_EQ(responseTime::roundHalfToEven(2.5), 2);
    EXPECT_EQ(responseTime::roundHalfToEven(3.5), 4);
    EXPECT_EQ(responseTime::roundHalfToEven(-2.5), -2);
    EXPECT_EQ(responseTime::roundHalfToEven(2.5001), 3);
    EXPECT_EQ(responseTime::timerResponseMs(100.0, 100.005), 2);
    EXPECT_EQ(responseTime::timerResponseMs(100.0, 100.007), 4);

    ASSERT_EQ(connectClient(), 1);
    makeReady(0, 1, 1000.0, 1000.05);
    EXPECT_EQ(server.Clients[1]->TimerResponse, 25);
    EXPECT_TRUE(server.Clients[1]->IsConnected);

    // A second greeting starts a new probe; the old measurement stays until it is answered.
    clockSeconds = 2000.0;
    peer(0).write("Connected\r\n");
    ASSERT_EQ(readBytes(peer(0), 15), QByteArray("TimerResponse\r\n"));
    EXPECT_EQ(server.Clients[1]->TimerResponse, 25);
    EXPECT_TRUE(server.isReady(1));
}

TEST_F(ServerRoleTest, SendersPutExactlyTheirBytesOnTheWireAndBroadcastsReachOnlyReadyClients)
{
    ASSERT_EQ(connectClient(), 1);
    ASSERT_EQ(connectClient(), 2);
    ASSERT_EQ(connectClient(), 3);
    makeReady(0, 1, 0, 0.01);
    // Client 2 greets but never answers the probe; client 3 never greets.
    peer(1).write("Connected\r\n");
    ASSERT_EQ(readBytes(peer(1), 15), QByteArray("TimerResponse\r\n"));

    const QByteArray chunk("\xFF\xFB\r\n\0piece", 10);
    server.Send(1, "SkipFiles", " ");
    server.Send(1, chunk, "");
    server.Send(1, "DoGetFile", " ");
    server.SendMessageAll("StopAllMusic", "");
    server.SendMessageAll("SetMusic", "/a.mp3\r\n/b.mp3");
    const QByteArray expected = "SkipFiles\r\n " + chunk + "DoGetFile\r\n " + "StopAllMusic\r\n"
                                + "SetMusic\r\n/a.mp3\r\n/b.mp3";
    EXPECT_EQ(readBytes(peer(0), expected.size()), expected);

    // Whatever reaches the others arrives before these markers.
    server.Send(2, "X", "");
    server.Send(3, "Y", "");
    EXPECT_EQ(readBytes(peer(1), 1), QByteArray("X"));
    EXPECT_EQ(readBytes(peer(2), 1), QByteArray("Y"));
}

TEST_F(ServerRoleTest, TimedBroadcastOffsetsEachReadyClientByTheSlowest)
{
    EXPECT_EQ(responseTime::envelopeOffsets({10, 40, 25}), (QList<int>{30, 0, 15}));
    EXPECT_EQ(responseTime::envelopeOffsets({-5}), (QList<int>{5}));

    for (int i = 1; i <= 4; ++i)
        ASSERT_EQ(connectClient(), i);
    makeReady(0, 1, 0, 0.020);
    makeReady(1, 2, 0, 0.080);
    makeReady(2, 3, 0, 0.050);
    server.SendMessageAllByTimer("PlayMusic", "0");
    EXPECT_EQ(readBytes(peer(0), 27), QByteArray("WaitBefore:30\r\nPlayMusic\r\n0"));
    EXPECT_EQ(readBytes(peer(1), 26), QByteArray("WaitBefore:0\r\nPlayMusic\r\n0"));
    EXPECT_EQ(readBytes(peer(2), 27), QByteArray("WaitBefore:15\r\nPlayMusic\r\n0"));
    server.Send(4, "Z", "");
    EXPECT_EQ(readBytes(peer(3), 1), QByteArray("Z"));
}

TEST_F(ServerRoleTest, TransferRequestsArriveWholeWithTheirBytesAsSent)
{
    ASSERT_EQ(connectClient(), 1);
    QSignalSpy getFile(&server, &ServerRole::getFileReceived);
    QSignalSpy loaded(&server, &ServerRole::allFilesLoadedReceived);
    peer(0).write("GetFile\r\n/m/l\xE5");
    peer(0).flush();
    QTest::qWait(20);
    peer(0).write("t.mp3\r\n7AllFilesLoaded\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return loaded.count() == 1; }, waitMs));
    ASSERT_EQ(getFile.count(), 1);
    EXPECT_EQ(getFile.first().at(0).toInt(), 1);
    EXPECT_EQ(getFile.first().at(1).toByteArray(), QByteArray("/m/l\xE5t.mp3\r\n7"));
}

TEST_F(ServerRoleTest, AFloodingClientIsDroppedAndTheListenerRecoversFromAnError)
{
    ASSERT_EQ(connectClient(), 1);
    QSignalSpy gone(&server, &ServerRole::clientGone);
    const QByteArray garbage(256 * 1024, '\x01');
    peer(0).write(garbage);
    ASSERT_TRUE(gone.wait(waitMs));
    EXPECT_FALSE(server.Clients[1].has_value());

    const quint16 port = server.listeningPort();
    server.sckServer_ListenError();
    EXPECT_TRUE(server.isListening());
    EXPECT_EQ(server.listeningPort(), port);
    EXPECT_EQ(connectClient(), 2);
}

TEST(ServerRoleListen, ATakenPortIsReported)
{
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::LocalHost, 0));
    ServerRole server;
    server.setListenAddress(QHostAddress::LocalHost);
    EXPECT_FALSE(server.listen(other.serverPort()));
    EXPECT_EQ(server.listenError(), QAbstractSocket::AddressInUseError);
    EXPECT_FALSE(server.isListening());
}

} // namespace
