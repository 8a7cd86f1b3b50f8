// The client role against a raw QTcpServer peer: the greeting, the probe answer, exact
// bytes, message signals, envelopes and error numbers.
#include "net/ClientRole.h"
#include "net/SocketCodes.h"
#include "tests/net/Loopback.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTimer>

#include <gtest/gtest.h>

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

TEST_F(ClientRoleTest, AnswersTheProbeAndSendsExactBytes)
{
    server->write("TimerResponse\r\n");
    EXPECT_EQ(readBytes(*server, 21), QByteArray("MirrorTimerResponse\r\n"));
    client.SendClient("AllFilesLoaded", "");
    client.SendClient("GetFile", "/m/l\xE5t.mp3\r\n3");
    const QByteArray expected = "AllFilesLoaded\r\nGetFile\r\n/m/l\xE5t.mp3\r\n3";
    EXPECT_EQ(readBytes(*server, expected.size()), expected);
}

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
    record(&ClientRole::playMusic, "playMusic");
    record(&ClientRole::fileData, "fileData");
    record(&ClientRole::doGetFile, "doGetFile");
    record(&ClientRole::putFileReady, "putFileReady");
    record(&ClientRole::stopAllMusic, "stopAllMusic");
    record(&ClientRole::skipFiles, "skipFiles");
    record(&ClientRole::skipFile, "skipFile");
    record(&ClientRole::reStartPutFile, "reStartPutFile");

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
    EXPECT_EQ(readBytes(*server, 21), QByteArray("MirrorTimerResponse\r\n"));
    EXPECT_EQ(playMusic.count(), 1);
}

// The connect button's messages are keyed on these numbers (a refusal, 10061, is shown
// end to end in the window's tests).
TEST(ClientRoleErrors, MapsQtErrorsToTheWinsockNumbers)
{
    EXPECT_EQ(socketCodes::errorNumber(QAbstractSocket::HostNotFoundError), 11001);
    EXPECT_EQ(socketCodes::errorNumber(QAbstractSocket::ConnectionRefusedError), 10061);
    EXPECT_EQ(socketCodes::errorNumber(QAbstractSocket::RemoteHostClosedError), 10053);
    EXPECT_EQ(socketCodes::errorNumber(QAbstractSocket::NetworkError), 10054);
    EXPECT_EQ(socketCodes::errorNumber(QAbstractSocket::SocketTimeoutError), 5);
}

} // namespace
