// The client role against a raw QTcpServer peer: the moment of a "PlayMusic", envelopes,
// how the server's close or reset is told, and a server that floods without reading.
#include "net/ClientRole.h"
#include "net/ReadPump.h"
#include "net/ReceiveBuffer.h"
#include "net/SocketCodes.h"
#include "tests/net/Loopback.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/socket.h>

namespace {

class ClientRoleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 0));
        server = connectClient();
    }

    // The role connected again; returns the server's end once it has been greeted.
    QTcpSocket *connectClient()
    {
        client.connectToServer(QStringLiteral("127.0.0.1"), listener.serverPort());
        EXPECT_TRUE(listener.waitForNewConnection(waitMs));
        QTcpSocket *peer = listener.nextPendingConnection();
        EXPECT_EQ(readBytes(*peer, 11), QByteArray("Connected\r\n"));
        return peer;
    }

    QTcpServer listener;
    QTimer tmrClient;
    ClientRole client{&tmrClient};
    QTcpSocket *server = nullptr;
};

TEST_F(ClientRoleTest, APlayMusicThatMayGoOnSettlesAndKeepsTheMomentTheSystemReceivedIt)
{
    // 13 songs, so "1" may still become 10..12, and nothing follows it to say it has not.
    QByteArray list = "SetMusic\r\n/m/0.mp3";
    for (int i = 1; i < 13; ++i)
        list += "\r\n/m/" + QByteArray::number(i) + ".mp3";
    QSignalSpy setMusic(&client, &ClientRole::setMusic);
    server->write(list + "StopAllMusic\r\n");
    ASSERT_TRUE(setMusic.wait(waitMs));
    QSignalSpy play(&client, &ClientRole::playMusic);
    for (const bool busy : {false, true}) {
        play.clear();
        const qint64 sentNs = ReceiveBuffer::nowNs();
        server->write("PlayMusic\r\n1");
        server->flush();
        // A client busy elsewhere for a while: the message waits in the system meanwhile.
        if (busy)
            QThread::msleep(300);
        const qint64 readFromNs = ReceiveBuffer::nowNs();
        ASSERT_TRUE(play.wait(waitMs));
        EXPECT_EQ(play.first().first().toByteArray(), QByteArray("1"));
        // Only lower bounds for the settle: a slow machine may start later, never earlier.
        EXPECT_GE(ReceiveBuffer::nowNs() - sentNs, (ClientReceiver::settleMs - 1) * 1000000LL);
        const qint64 arrivalNs = play.first().at(1).toLongLong();
        EXPECT_GE(arrivalNs, sentNs);
        EXPECT_TRUE(!busy || arrivalNs < readFromNs - 200 * 1000000) << "stamped when read, not when received";
    }
}

TEST_F(ClientRoleTest, ADelayedEnvelopeWaitsInItsOneSlotALaterOneReplacesItAndAnEndEmptiesIt)
{
    QSignalSpy playMusic(&client, &ClientRole::playMusic);
    server->write("WaitBefore:60000\r\nPlayMusic\r\n1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return tmrClient.isActive(); }, waitMs));
    EXPECT_EQ(playMusic.count(), 0);
    server->write("WaitBefore:0\r\nPlayMusic\r\n2");
    ASSERT_TRUE(playMusic.wait(waitMs));
    EXPECT_EQ(playMusic.first().first().toByteArray(), QByteArray("2"));
    EXPECT_FALSE(tmrClient.isActive());
    // The probe inside an envelope is answered when it is due.
    server->write("WaitBefore:5\r\nTimerResponse\r\n");
    EXPECT_TRUE(readBytes(*server, 21).startsWith("MirrorTimerResponse\r\n"));

    // A message waiting when the connection ends never acts, nor on the next connection.
    QSignalSpy closed(&client, &ClientRole::closedByServer);
    server->write("WaitBefore:300\r\nPlayMusic\r\n3");
    ASSERT_TRUE(QTest::qWaitFor([&] { return tmrClient.isActive(); }, waitMs));
    server->disconnectFromHost();
    ASSERT_TRUE(closed.wait(waitMs));
    EXPECT_FALSE(tmrClient.isActive() || client.delayedMessage().has_value());
    connectClient();
    QTest::qWait(400);
    EXPECT_EQ(playMusic.count(), 1);
}

TEST_F(ClientRoleTest, AServerResetIsAnErrorAndAnOrderlyCloseIsNot)
{
    QSignalSpy failed(&client, &ClientRole::failed);
    QSignalSpy closed(&client, &ClientRole::closedByServer);
    // An abort with no linger sends a reset.
    const linger noLinger{1, 0};
    ASSERT_EQ(
        ::setsockopt(static_cast<int>(server->socketDescriptor()), SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger),
        0);
    server->abort();
    ASSERT_TRUE(failed.wait(waitMs));
    EXPECT_EQ(failed.first().first().toInt(), socketCodes::connectionReset);
    EXPECT_EQ(closed.count(), 0);

    connectClient()->disconnectFromHost();
    ASSERT_TRUE(closed.wait(waitMs));
    QTest::qWait(50);
    EXPECT_EQ(failed.count(), 1);
}

TEST_F(ClientRoleTest, AHandlerThatWaitsWhileTheServerLeavesHandsOutNothingOfTheGoneConnection)
{
    QSignalSpy closed(&client, &ClientRole::closedByServer);
    QSignalSpy play(&client, &ClientRole::playMusic);
    // Like a message box over a stop: the event loop runs on inside the handler.
    QObject::connect(&client, &ClientRole::stopAllMusic, &client,
                     [&] { (void)QTest::qWaitFor([&] { return closed.count() > 0; }, waitMs); });
    server->write("StopAllMusic\r\nPlayMusic\r\n0");
    server->disconnectFromHost();
    ASSERT_TRUE(QTest::qWaitFor([&] { return closed.count() > 0; }, waitMs));
    QTest::qWait(50);
    EXPECT_EQ(play.count(), 0);
    EXPECT_EQ(client.state(), socketCodes::stateClosed);
}

TEST_F(ClientRoleTest, AServerThatFloodsWithoutReadingCostsBoundedMemoryAndIsLeft)
{
    QSignalSpy closed(&client, &ClientRole::closedByServer);
    client.pump().setStalledDropMs(300);
    // Qt would read on behalf of the peer; a small read buffer makes it stop.
    server->setReadBufferSize(1024);
    server->write(QByteArray("TimerResponse\r\n").repeated(3 * 1024 * 1024));
    qint64 most = 0;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            most = std::max(most, client.pump().unsentBytes());
            return closed.count() > 0;
        },
        waitMs));
    EXPECT_GT(most, ReadPump::pauseAboveUnsentBytes / 2);
    EXPECT_LE(most, ReadPump::pauseAboveUnsentBytes + 21);
}

} // namespace
