// The client role against a raw QTcpServer peer: message signals, the moment of a
// "PlayMusic", envelopes, how the server's close or reset is told, and a server that floods
// without reading.
#include "net/ClientRole.h"
#include "net/ReadPump.h"
#include "net/SocketCodes.h"
#include "tests/net/Loopback.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/socket.h>

namespace {

class ClientRoleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 0));
        client.connectToServer(QStringLiteral("127.0.0.1"), listener.serverPort());
        ASSERT_TRUE(listener.waitForNewConnection(waitMs));
        server = listener.nextPendingConnection();
        ASSERT_EQ(readBytes(*server, 11), QByteArray("Connected\r\n"));
    }

    // Writes `bytes` as a read of its own, as far as the loopback allows.
    void writeApart(const QByteArray &bytes)
    {
        server->write(bytes);
        server->flush();
        QTest::qWait(20);
    }

    QTcpServer listener;
    QTimer tmrClient;
    ClientRole client{&tmrClient};
    QTcpSocket *server = nullptr;
};

TEST_F(ClientRoleTest, SignalsEachServerMessageOnceInOrderWhateverTheReads)
{
    // Each signal as "name data"; the pieces of one chunk are joined.
    QList<QByteArray> log;
    const auto record = [&](auto signal, const QByteArray &name) {
        QObject::connect(&client, signal, &client, [&log, name](const auto &...data) {
            if (name == "fileData" && !log.isEmpty() && log.back().startsWith("fileData"))
                log.back() += (QByteArray() + ... + data);
            else
                log.append(name + ((" " + data) + ... + QByteArray()));
        });
    };
    record(&ClientRole::setMusic, "setMusic");
    record(&ClientRole::setFileDone, "setFileDone");
    QObject::connect(&client, &ClientRole::playMusic, &client,
                     [&log](const QByteArray &slot) { log.append("playMusic " + slot); });
    record(&ClientRole::fileData, "fileData");
    record(&ClientRole::doGetFile, "doGetFile");
    record(&ClientRole::putFileReady, "putFileReady");
    record(&ClientRole::stopAllMusic, "stopAllMusic");
    record(&ClientRole::skipFiles, "skipFiles");
    record(&ClientRole::skipFile, "skipFile");
    record(&ClientRole::reStartPutFile, "reStartPutFile");
    // The file transfer owns the file data mode; here it switches it on for the one song.
    QObject::connect(&client, &ClientRole::setFileDone, &client, [this] { client.setFileDataExpected(true); });
    QObject::connect(&client, &ClientRole::putFileReady, &client, [this] { client.setFileDataExpected(false); });

    const QByteArray chunk("\xFF\xFB\r\n\0data", 9);
    writeApart("SetMusic\r\n/a.mp3\r\n/b.mp3SetFileDone\r\n/b.mp3\r\n9PlayMusic\r\n1");
    writeApart(chunk.left(4));
    writeApart(chunk.mid(4) + "DoGe");
    server->write(
        "tFile\r\n PutFileReady\r\n/b.mp3StopAllMusic\r\nSkipFiles\r\n SkipFile\r\n/b.mp3\r\n1ReStartPutFile\r\n ");
    ASSERT_TRUE(QTest::qWaitFor([&] { return log.size() == 10; }, waitMs));
    EXPECT_EQ(log, (QList<QByteArray>{"setMusic /a.mp3\r\n/b.mp3", "setFileDone /b.mp3\r\n9", "playMusic 1",
                                      "fileData " + chunk, "doGetFile", "putFileReady /b.mp3", "stopAllMusic",
                                      "skipFiles", "skipFile /b.mp3\r\n1", "reStartPutFile"}));
}

TEST_F(ClientRoleTest, ADelayedEnvelopeWaitsInItsOneSlotALaterOneReplacesItAndAnEndEmptiesIt)
{
    QSignalSpy playMusic(&client, &ClientRole::playMusic);
    server->write("WaitBefore:60000\r\nPlayMusic\r\n1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return tmrClient.isActive(); }, waitMs));
    EXPECT_EQ(client.delayedMessage(), (ClientMessage{ClientCommand::PlayMusic, "1"}));
    EXPECT_EQ(playMusic.count(), 0);

    server->write("WaitBefore:0\r\nPlayMusic\r\n2");
    ASSERT_TRUE(playMusic.wait(waitMs));
    EXPECT_EQ(playMusic.first().first().toByteArray(), QByteArray("2"));
    EXPECT_FALSE(tmrClient.isActive());
    // The probe inside an envelope is answered when it is due.
    server->write("WaitBefore:5\r\nTimerResponse\r\n");
    EXPECT_EQ(readBytes(*server, 21), QByteArray("MirrorTimerResponse\r\n"));

    // A message waiting when the connection ends never acts, nor on the next connection.
    QSignalSpy closed(&client, &ClientRole::closedByServer);
    server->write("WaitBefore:300\r\nPlayMusic\r\n3");
    ASSERT_TRUE(QTest::qWaitFor([&] { return tmrClient.isActive(); }, waitMs));
    server->disconnectFromHost();
    ASSERT_TRUE(closed.wait(waitMs));
    EXPECT_FALSE(tmrClient.isActive());
    EXPECT_FALSE(client.delayedMessage().has_value());
    client.connectToServer(QStringLiteral("127.0.0.1"), listener.serverPort());
    ASSERT_TRUE(listener.waitForNewConnection(waitMs));
    QTest::qWait(400);
    EXPECT_EQ(playMusic.count(), 1);
}

TEST_F(ClientRoleTest, APlayMusicThatMayGoOnStartsAlikeWhetherAloneOrFollowed)
{
    // A second client beside the fixture's; both know 13 songs, so "1" may still be 10..12.
    QTimer otherTimer;
    ClientRole other(&otherTimer);
    other.connectToServer(QStringLiteral("127.0.0.1"), listener.serverPort());
    ASSERT_TRUE(listener.waitForNewConnection(waitMs));
    QTcpSocket *otherServer = listener.nextPendingConnection();
    ASSERT_EQ(readBytes(*otherServer, 11), QByteArray("Connected\r\n"));
    QByteArray list = "SetMusic\r\n/m/0.mp3";
    for (int i = 1; i < 13; ++i)
        list += "\r\n/m/" + QByteArray::number(i) + ".mp3";
    // Each client's log, and when its "PlayMusic" came after the bytes were written (so
    // after they were read).
    QElapsedTimer sinceWrite;
    QList<QByteArray> logs[2];
    qint64 playedAfter[2] = {-1, -1};
    ClientRole *roles[2] = {&client, &other};
    for (int i = 0; i < 2; ++i) {
        QObject::connect(roles[i], &ClientRole::setMusic, roles[i], [&, i] { logs[i].append("setMusic"); });
        QObject::connect(roles[i], &ClientRole::playMusic, roles[i], [&, i](const QByteArray &slot) {
            playedAfter[i] = sinceWrite.elapsed();
            logs[i].append("playMusic " + slot);
        });
        QObject::connect(roles[i], &ClientRole::skipFiles, roles[i], [&, i] { logs[i].append("skipFiles"); });
    }
    server->write(list + "StopAllMusic\r\n");
    otherServer->write(list + "StopAllMusic\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return logs[0].size() == 1 && logs[1].size() == 1; }, waitMs));

    sinceWrite.start();
    server->write("PlayMusic\r\n1");
    otherServer->write("PlayMusic\r\n1SkipFiles\r\n ");
    ASSERT_TRUE(QTest::qWaitFor([&] { return logs[0].size() == 2 && logs[1].size() == 3; }, waitMs));
    // Only a lower bound: a slow machine may start both later, never earlier.
    EXPECT_GE(playedAfter[0], ClientReceiver::settleMs - 1);
    EXPECT_GE(playedAfter[1], ClientReceiver::settleMs - 1);
    EXPECT_EQ(logs[1], (QList<QByteArray>{"setMusic", "playMusic 1", "skipFiles"}));
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

    client.connectToServer(QStringLiteral("127.0.0.1"), listener.serverPort());
    ASSERT_TRUE(listener.waitForNewConnection(waitMs));
    QTcpSocket *second = listener.nextPendingConnection();
    ASSERT_EQ(readBytes(*second, 11), QByteArray("Connected\r\n"));
    second->disconnectFromHost();
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
