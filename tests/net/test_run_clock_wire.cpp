// The run's clock on the wire, against peers that follow the original protocol byte for byte
// and take each read as one message, in both directions, and between two of our own.
#include "core/MonotonicClock.h"
#include "net/ClientRole.h"
#include "net/ServerRole.h"
#include "tests/net/Loopback.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// One of our clients, and a bare socket that plays its server.
class OurClientWithABareServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 0));
        client.connectToServer(QStringLiteral("127.0.0.1"), listener.serverPort());
        ASSERT_TRUE(listener.waitForNewConnection(waitMs));
        server = listener.nextPendingConnection();
    }

    QTcpServer listener;
    QTimer tmrClient;
    ClientRole client{&tmrClient};
    QTcpSocket *server = nullptr;
};

} // namespace

TEST_F(OurClientWithABareServer, WithAnOriginalServerItAsksOnceUnseenAndPlaysOnArrival)
{
    // The original server: one read is one message (its word up to the first CR LF), unknown
    // words are ignored, and the answer to the probe takes no data.
    QList<QByteArray> reads;
    QObject::connect(server, &QTcpSocket::readyRead, server, [&] {
        const QByteArray read = server->readAll();
        reads.append(read);
        if (read.startsWith("Connected\r\n"))
            server->write("TimerResponse\r\n");
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return reads.size() >= 2; }, waitMs));
    // Long enough for every ask a client would make of a server that answered.
    QTest::qWait(2 * ClientClock::askEveryMs);
    EXPECT_TRUE(reads[0].startsWith("Connected\r\n"));
    // The probe's answer is seen as such; what rides behind it is its unused data, and nothing
    // more comes: a server that never answered is never asked again.
    EXPECT_EQ(reads.mid(1).join(), QByteArray("MirrorTimerResponse\r\nClockAsk\r\n0 0\r\n"));
    EXPECT_FALSE(client.runClock().serverKeepsClock());

    // The original "PlayMusic", and a "PlayMusicAt" the client never asked for, which is no moment.
    QSignalSpy play(&client, &ClientRole::playMusic);
    QSignalSpy playAt(&client, &ClientRole::playMusicAt);
    server->write("PlayMusicAt\r\n1 5 150\r\n");
    server->flush();
    QTest::qWait(100);
    server->write("PlayMusic\r\n1");
    ASSERT_TRUE(play.wait(waitMs));
    EXPECT_EQ(play.first().first().toByteArray(), QByteArray("1"));
    EXPECT_EQ(playAt.count(), 0);
}

TEST_F(OurClientWithABareServer, AFirstAnswerGluedBehindAnotherMessageStillShowsAServerThatKeepsTheClock)
{
    // A server of ours sends a late client its song list as it becomes ready, so the answer to
    // the first ask may share a read with it; its stamp is then not the answer's own.
    QByteArray got = readBytes(*server, 11);
    server->write("TimerResponse\r\n");
    got += readBytes(*server, 36);
    ASSERT_TRUE(got.endsWith("ClockAsk\r\n0 0\r\n")) << got.constData();
    const QByteArray nowNs = QByteArray::number(MonotonicClock::nowNs());
    server->write("SetMusic\r\n/m/a.mp3ClockTell\r\n0 " + nowNs + " " + nowNs + "\r\n");
    EXPECT_TRUE(readBytes(*server, 1).startsWith("ClockAsk\r\n1 "));
    EXPECT_TRUE(client.runClock().serverKeepsClock());
    EXPECT_EQ(client.runClock().clock().localAtRoughly(0), std::nullopt) << "no exchange taken";
}

TEST(RunClockWire, OurServerTellsOriginalClientsOnlyTheirWordsAndCoversTheSlowestOutput)
{
    SessionState session;
    session.setAcceptNewClients(true);
    ServerRole server(session);
    server.setListenAddress(QHostAddress::LocalHost);
    ASSERT_TRUE(server.listen(0));

    // An original client, and one of ours whose sound output holds 350 ms.
    QTcpSocket original;
    original.connectToHost(QHostAddress::LocalHost, server.listeningPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.client(1).has_value(); }, waitMs));
    // Its greeting, each write a read of its own at the server.
    original.write("Connected\r\n");
    ASSERT_EQ(readBytes(original, 15), QByteArray("TimerResponse\r\n"));
    original.write("MirrorTimerResponse\r\n");

    QTimer tmrClient;
    ClientRole ours(&tmrClient);
    ours.runClock().setOutputLatency([] { return 350; });
    QElapsedTimer sinceConnecting;
    sinceConnecting.start();
    ours.connectToServer(QStringLiteral("127.0.0.1"), server.listeningPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.client(2) && server.client(2)->KeepsRunClock; }, waitMs));
    // A start right after a client began to ask waits until its estimate has had a second.
    EXPECT_GE(server.runStartDelayMs(), 1000 - sinceConnecting.elapsed());
    ASSERT_TRUE(
        waitPromptly([&] { return server.isReady(1) && server.isReady(2) && ours.runClock().clock().ready(); }));
    EXPECT_TRUE(ours.runClock().serverKeepsClock());

    QSignalSpy playAt(&ours, &ClientRole::playMusicAt);
    const qint64 beforeNs = MonotonicClock::nowNs();
    server.SendMessageAll("PlayMusic", "7");
    const qint64 afterNs = MonotonicClock::nowNs();
    // The run waits for the slowest output (and a margin), and the original client's message
    // makes up the difference inside an envelope, so it too is heard about then.
    const int delayMs = server.runStartDelayMs();
    EXPECT_GE(delayMs, 350 + 50);
    const QByteArray envelope =
        "WaitBefore:" + QByteArray::number(delayMs - ServerRole::startDelayMs) + "\r\nPlayMusic\r\n7";
    EXPECT_EQ(readBytes(original, envelope.size()), envelope);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !playAt.isEmpty(); }, waitMs));
    EXPECT_EQ(playAt.first().at(0).toInt(), 7);
    EXPECT_EQ(playAt.first().at(2).toInt(), delayMs);
    const qint64 serverAtNs = playAt.first().at(1).toLongLong();
    EXPECT_GE(serverAtNs, beforeNs + qint64(delayMs) * 1000000);
    EXPECT_LE(serverAtNs, afterNs + qint64(delayMs) * 1000000);
    // One process, one clock: the estimate must find no offset.
    EXPECT_LT(std::abs(ours.runClock().clock().localAt(serverAtNs).value_or(0) - serverAtNs), 1000000);

    // With no slow output left, the original client gets the bare original message again.
    ours.close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !server.client(2).has_value(); }, waitMs));
    server.SendMessageAll("PlayMusic", "8");
    EXPECT_EQ(readBytes(original, 12), QByteArray("PlayMusic\r\n8"));
    QTest::qWait(200);
    EXPECT_EQ(original.readAll(), QByteArray()) << "nothing but the original's words";
}
