// The client role against a raw QTcpServer peer, and against the real server role: the
// greeting, the probe answer, exact bytes, message signals, envelopes and error numbers.
#include "net/ClientRole.h"
#include "net/ServerRole.h"
#include "net/SocketCodes.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

constexpr int waitMs = 10000;

QByteArray readBytes(QTcpSocket &socket, qsizetype count)
{
    QByteArray got;
    (void)QTest::qWaitFor([&] {
        got += socket.readAll();
        return got.size() >= count;
    }, waitMs);
    return got;
}

class ClientRoleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 0));
        client.connectToServer(QStringLiteral("127.0.0.1"), listener.serverPort());
        ASSERT_TRUE(listener.waitForNewConnection(waitMs));
        server = listener.nextPendingConnection();
        ASSERT_TRUE(QTest::qWaitFor([&] { return client.state() == socketCodes::stateConnected; }, waitMs));
    }

    QTcpServer listener;
    QTimer tmrClient;
    ClientRole client{&tmrClient};
    QTcpSocket *server = nullptr;
};

TEST_F(ClientRoleTest, GreetsAnswersTheProbeAndSendsExactBytes)
{
    EXPECT_EQ(readBytes(*server, 11), QByteArray("Connected\r\n"));
    EXPECT_EQ(client.remoteHost(), QStringLiteral("127.0.0.1"));
    server->write("TimerResponse\r\n");
    EXPECT_EQ(readBytes(*server, 21), QByteArray("MirrorTimerResponse\r\n"));

    client.SendClient("AllFilesLoaded", "");
    client.SendClient("GetFile", "/m/l\xE5t.mp3\r\n3");
    const QByteArray expected = "AllFilesLoaded\r\nGetFile\r\n/m/l\xE5t.mp3\r\n3";
    EXPECT_EQ(readBytes(*server, expected.size()), expected);
}

TEST_F(ClientRoleTest, SignalsEachServerMessageOnceWhateverTheReads)
{
    QSignalSpy setMusic(&client, &ClientRole::setMusic);
    QSignalSpy setFileDone(&client, &ClientRole::setFileDone);
    QSignalSpy fileData(&client, &ClientRole::fileData);
    QSignalSpy doGetFile(&client, &ClientRole::doGetFile);
    QSignalSpy putFileReady(&client, &ClientRole::putFileReady);
    QSignalSpy playMusic(&client, &ClientRole::playMusic);
    QSignalSpy stopAllMusic(&client, &ClientRole::stopAllMusic);
    QSignalSpy skipFiles(&client, &ClientRole::skipFiles);

    server->write("SetMusic\r\n/a.mp3\r\n/b.mp3");
    ASSERT_TRUE(setMusic.wait(waitMs));
    EXPECT_EQ(setMusic.first().first().toByteArray(), QByteArray("/a.mp3\r\n/b.mp3"));

    const QByteArray chunk("\xFF\xFB\r\n\0data", 9);
    server->write("SetFileDone\r\n/b.mp3\r\n9PlayMusic\r\n1");
    server->flush();
    QTest::qWait(20);
    server->write(chunk.left(4));
    server->flush();
    QTest::qWait(20);
    server->write(chunk.mid(4) + "DoGe");
    server->flush();
    QTest::qWait(20);
    server->write("tFile\r\n PutFileReady\r\n/b.mp3StopAllMusic\r\nSkipFiles\r\n ");
    ASSERT_TRUE(QTest::qWaitFor([&] { return skipFiles.count() == 1; }, waitMs));

    EXPECT_EQ(setFileDone.count(), 1);
    EXPECT_EQ(setFileDone.first().first().toByteArray(), QByteArray("/b.mp3\r\n9"));
    EXPECT_EQ(playMusic.count(), 1);
    EXPECT_EQ(playMusic.first().first().toByteArray(), QByteArray("1"));
    QByteArray received;
    for (const QList<QVariant> &piece : fileData)
        received += piece.first().toByteArray();
    EXPECT_EQ(received, chunk);
    EXPECT_EQ(doGetFile.count(), 1);
    EXPECT_EQ(putFileReady.count(), 1);
    EXPECT_EQ(putFileReady.first().first().toByteArray(), QByteArray("/b.mp3"));
    EXPECT_EQ(stopAllMusic.count(), 1);
}

TEST_F(ClientRoleTest, ADelayedEnvelopeWaitsInItsOneSlotAndALaterOneReplacesIt)
{
    QSignalSpy playMusic(&client, &ClientRole::playMusic);
    server->write("WaitBefore:60000\r\nPlayMusic\r\n1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return tmrClient.isActive(); }, waitMs));
    EXPECT_EQ(client.delayedMessage(), (WireMessage{"PlayMusic", "1"}));
    EXPECT_EQ(playMusic.count(), 0);

    server->write("WaitBefore:0\r\nPlayMusic\r\n2");
    ASSERT_TRUE(playMusic.wait(waitMs));
    EXPECT_EQ(playMusic.first().first().toByteArray(), QByteArray("2"));
    EXPECT_FALSE(tmrClient.isActive());

    // The probe inside an envelope is answered when it is due.
    server->write("WaitBefore:5\r\nTimerResponse\r\n");
    EXPECT_EQ(readBytes(*server, 11 + 21), QByteArray("Connected\r\nMirrorTimerResponse\r\n"));
    EXPECT_EQ(playMusic.count(), 1);
}

TEST_F(ClientRoleTest, TheServerClosingIsNoErrorAndSendingWhenClosedSendsNothing)
{
    QSignalSpy closed(&client, &ClientRole::closedByServer);
    QSignalSpy failed(&client, &ClientRole::failed);
    server->disconnectFromHost();
    ASSERT_TRUE(closed.wait(waitMs));
    QTest::qWait(50);
    EXPECT_EQ(failed.count(), 0);
    EXPECT_EQ(client.state(), socketCodes::stateClosed);
    client.SendClient("AllFilesLoaded", "");
    EXPECT_EQ(client.state(), socketCodes::stateClosed);
}

TEST(ClientRoleErrors, MapsQtErrorsToTheWinsockNumbersAndReportsARefusal)
{
    EXPECT_EQ(socketCodes::errorNumber(QAbstractSocket::HostNotFoundError), 11001);
    EXPECT_EQ(socketCodes::errorNumber(QAbstractSocket::ConnectionRefusedError), 10061);
    EXPECT_EQ(socketCodes::errorNumber(QAbstractSocket::RemoteHostClosedError), 10053);
    EXPECT_EQ(socketCodes::errorNumber(QAbstractSocket::NetworkError), 10054);
    EXPECT_EQ(socketCodes::errorNumber(QAbstractSocket::SocketTimeoutError), 5);
    EXPECT_EQ(socketCodes::stateNumber(QAbstractSocket::UnconnectedState), 0);
    EXPECT_EQ(socketCodes::stateNumber(QAbstractSocket::ConnectedState), 7);

    quint16 closedPort = 0;
    {
        QTcpServer gone;
        ASSERT_TRUE(gone.listen(QHostAddress::LocalHost, 0));
        closedPort = gone.serverPort();
    }
    QTimer tmrClient;
    ClientRole client(&tmrClient);
    QSignalSpy failed(&client, &ClientRole::failed);
    client.connectToServer(QStringLiteral("127.0.0.1"), closedPort);
    ASSERT_TRUE(failed.wait(waitMs));
    EXPECT_EQ(failed.first().first().toInt(), 10061);
    EXPECT_FALSE(failed.first().at(1).toString().isEmpty());
}

TEST(ClientAndServerRoles, AClientBecomesReadyAndReceivesBroadcasts)
{
    ServerRole server;
    server.setListenAddress(QHostAddress::LocalHost);
    ASSERT_TRUE(server.listen(0));
    server.AcceptNewClients = true;
    QTimer tmrClient;
    ClientRole client(&tmrClient);
    client.connectToServer(QStringLiteral("127.0.0.1"), server.listeningPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.isReady(1); }, waitMs));
    EXPECT_GE(server.Clients[1]->TimerResponse, 0);

    QSignalSpy stop(&client, &ClientRole::stopAllMusic);
    QSignalSpy play(&client, &ClientRole::playMusic);
    server.SendMessageAll("StopAllMusic", "");
    server.SendMessageAllByTimer("PlayMusic", "0");
    ASSERT_TRUE(QTest::qWaitFor([&] { return play.count() == 1; }, waitMs));
    EXPECT_EQ(stop.count(), 1);

    // Switching the server off closes the connection without an error on the client.
    QSignalSpy closed(&client, &ClientRole::closedByServer);
    QSignalSpy failed(&client, &ClientRole::failed);
    server.dropAllConnections();
    ASSERT_TRUE(closed.wait(waitMs));
    EXPECT_EQ(failed.count(), 0);
}

} // namespace
