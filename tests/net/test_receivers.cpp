// The two stream receivers fed plain byte arrays: every message whole, split at every
// byte, glued in pairs and triples, file data around "DoGetFile", and the caps.
#include "net/ClientReceiver.h"
#include "net/ServerReceiver.h"
#include "net/WireScan.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

void PrintTo(const WireMessage &m, std::ostream *os)
{
    *os << '[' << m.command.toStdString() << " | " << m.data.toStdString() << ']';
}

void PrintTo(const ClientReceiver::Item &item, std::ostream *os)
{
    *os << '{' << static_cast<int>(item.kind) << ' ' << item.delayMs << ' ';
    PrintTo(item.message, os);
    *os << " file " << item.fileData.size() << '}';
}

namespace {

using Item = ClientReceiver::Item;

// 13 songs, so slot numbers 1 can still go on to 10, 11 and 12.
QByteArray songList()
{
    QList<QByteArray> songs;
    for (int i = 0; i < 13; ++i)
        songs.append("/musik/l\xE5t " + QByteArray::number(i) + ".mp3");
    songs[12] = "D:\\Musik\\Pop\\x.mp3";
    return songs.join("\r\n");
}

// --- server side -----------------------------------------------------------------------

struct ClientMessage {
    QByteArray bytes;
    WireMessage expected;
};

std::vector<ClientMessage> clientMessages()
{
    return {
        {"Connected\r\n", {"Connected", ""}},
        {"MirrorTimerResponse\r\n", {"MirrorTimerResponse", ""}},
        {"GetFile\r\n/musik/l\xE5t 2.mp3\r\n2", {"GetFile", "/musik/l\xE5t 2.mp3\r\n2"}},
        {"SetFile\r\nD:\\Musik\\Pop\\x.mp3\r\n12", {"SetFile", "D:\\Musik\\Pop\\x.mp3\r\n12"}},
        {"GetFile\r\n/musik/l\xE5t 1.mp3\r\n1", {"GetFile", "/musik/l\xE5t 1.mp3\r\n1"}},
        {"SetFile\r\n/elsewhere.mp3\r\n200", {"SetFile", "/elsewhere.mp3\r\n200"}},
        {"AllFilesLoaded\r\n", {"AllFilesLoaded", ""}},
        {"HasNeededFiles\r\n", {"HasNeededFiles", ""}},
    };
}

ServerReceiver serverReceiver()
{
    const QList<QByteArray> songs = wireScan::songLines(songList());
    return ServerReceiver([songs](int slot, const QByteArray &path) {
        return slot < songs.size() && songs[slot] == path;
    });
}

std::vector<WireMessage> feed(ServerReceiver &r, const std::vector<QByteArray> &pieces)
{
    std::vector<WireMessage> out;
    for (const QByteArray &piece : pieces) {
        r.append(piece);
        while (auto m = r.next())
            out.push_back(*m);
    }
    while (r.waitsToSettle()) {
        r.settle();
        while (auto m = r.next())
            out.push_back(*m);
    }
    return out;
}

std::vector<QByteArray> splitAt(const QByteArray &bytes, qsizetype cut)
{
    return {bytes.left(cut), bytes.mid(cut)};
}

std::vector<QByteArray> byteByByte(const QByteArray &bytes)
{
    std::vector<QByteArray> pieces;
    for (const char b : bytes)
        pieces.emplace_back(1, b);
    return pieces;
}

TEST(ServerReceiver, EveryMessageWholeSplitAtEveryByteAndByteByByte)
{
    for (const ClientMessage &m : clientMessages()) {
        ServerReceiver whole = serverReceiver();
        EXPECT_EQ(feed(whole, {m.bytes}), std::vector<WireMessage>{m.expected}) << m.bytes.constData();
        for (qsizetype cut = 1; cut < m.bytes.size(); ++cut) {
            ServerReceiver r = serverReceiver();
            EXPECT_EQ(feed(r, splitAt(m.bytes, cut)), std::vector<WireMessage>{m.expected})
                << m.bytes.constData() << " cut at " << cut;
        }
        ServerReceiver slow = serverReceiver();
        EXPECT_EQ(feed(slow, byteByByte(m.bytes)), std::vector<WireMessage>{m.expected});
    }
}

TEST(ServerReceiver, GluedPairsAndTriplesSplitAnywhereComeOutInOrder)
{
    const std::vector<ClientMessage> all = clientMessages();
    for (const ClientMessage &a : all) {
        for (const ClientMessage &b : all) {
            ServerReceiver pair = serverReceiver();
            EXPECT_EQ(feed(pair, {a.bytes + b.bytes}), (std::vector<WireMessage>{a.expected, b.expected}));
            for (const ClientMessage &c : all) {
                const QByteArray glued = a.bytes + b.bytes + c.bytes;
                const std::vector<WireMessage> expected{a.expected, b.expected, c.expected};
                for (qsizetype cut = 0; cut <= glued.size(); cut += 7) {
                    ServerReceiver r = serverReceiver();
                    ASSERT_EQ(feed(r, splitAt(glued, cut)), expected) << glued.constData() << " cut at " << cut;
                }
            }
        }
    }
}

TEST(ServerReceiver, ASlotNumberThatCannotGoOnIsHandledWithoutWaiting)
{
    ServerReceiver r = serverReceiver();
    // Slot 2's path is announced nowhere else, so "2" is whole at once: no wait per chunk.
    r.append("GetFile\r\n/musik/l\xE5t 2.mp3\r\n2");
    EXPECT_TRUE(r.next().has_value());
    EXPECT_FALSE(r.waitsToSettle());

    // One path under slots 1 and 12: "1" might be the start of "12".
    ServerReceiver twice([](int slot, const QByteArray &) { return slot == 1 || slot == 12; });
    twice.append("GetFile\r\n/a.mp3\r\n1");
    EXPECT_FALSE(twice.next().has_value());
    EXPECT_TRUE(twice.waitsToSettle());
    twice.settle();
    EXPECT_EQ(twice.next(), (WireMessage{"GetFile", "/a.mp3\r\n1"}));
}

TEST(ServerReceiver, UnknownWordsAreSkippedUpToTheNextMessage)
{
    ServerReceiver r = serverReceiver();
    const std::vector<WireMessage> expected{WireMessage{"Connected", ""}};
    EXPECT_EQ(feed(r, {"connected\r\nConnected \r\nHello\r\nworld", "no line ends here", "Connected\r\n"}), expected);
}

TEST(ServerReceiver, EndlessLineAndEndlessGarbageOverflow)
{
    ServerReceiver line = serverReceiver();
    line.append("GetFile\r\n");
    const QByteArray block(4096, 'a');
    for (int i = 0; i < 40 && !line.overflowed(); ++i) {
        line.append(block);
        EXPECT_FALSE(line.next().has_value());
    }
    EXPECT_TRUE(line.overflowed());

    ServerReceiver garbage = serverReceiver();
    for (int i = 0; i < 40 && !garbage.overflowed(); ++i) {
        garbage.append(QByteArray(4096, '\x07'));
        EXPECT_FALSE(garbage.next().has_value());
    }
    EXPECT_TRUE(garbage.overflowed());
}

// --- client side -----------------------------------------------------------------------

Item message(const QByteArray &command, const QByteArray &data)
{
    return Item{Item::Kind::Message, {command, data}, {}, 0};
}

Item fileData(const QByteArray &bytes)
{
    return Item{Item::Kind::FileData, {}, bytes, 0};
}

struct ServerMessage {
    QByteArray bytes;
    Item expected;
};

std::vector<ServerMessage> serverMessages()
{
    return {
        {"TimerResponse\r\n", message("TimerResponse", "")},
        {"SetMusic\r\n" + songList(), message("SetMusic", songList())},
        {"PlayMusic\r\n1", message("PlayMusic", "1")},
        {"PlayMusic\r\n12", message("PlayMusic", "12")},
        {"StopAllMusic\r\n", message("StopAllMusic", "")},
        {"SkipFiles\r\n ", message("SkipFiles", " ")},
        {"SetFileDone\r\n/musik/l\xE5t 1.mp3\r\n9000", message("SetFileDone", "/musik/l\xE5t 1.mp3\r\n9000")},
        {"SkipFile\r\n/musik/l\xE5t 1.mp3\r\n1", message("SkipFile", "/musik/l\xE5t 1.mp3\r\n1")},
        {"DoGetFile\r\n ", message("DoGetFile", " ")},
        {"PutFileReady\r\n/musik/l\xE5t 1.mp3", message("PutFileReady", "/musik/l\xE5t 1.mp3")},
        {"PutFileReady\r\n/not/announced.mp3", message("PutFileReady", "/not/announced.mp3")},
        {"ReStartPutFile\r\n ", message("ReStartPutFile", " ")},
        {"WaitBefore:30\r\nPlayMusic\r\n5", Item{Item::Kind::Envelope, {"PlayMusic", "5"}, {}, 30}},
    };
}

// Adjacent pieces of file data count as one: how TCP cuts a chunk is not the point.
std::vector<Item> merged(const std::vector<Item> &items)
{
    std::vector<Item> out;
    for (const Item &item : items) {
        if (item.kind == Item::Kind::FileData && !out.empty() && out.back().kind == Item::Kind::FileData)
            out.back().fileData += item.fileData;
        else
            out.push_back(item);
    }
    return out;
}

std::vector<Item> feed(ClientReceiver &r, const std::vector<QByteArray> &pieces)
{
    std::vector<Item> out;
    for (const QByteArray &piece : pieces) {
        r.append(piece);
        while (auto item = r.next())
            out.push_back(*item);
    }
    while (r.settleWaitMs() > 0) {
        r.settle();
        while (auto item = r.next())
            out.push_back(*item);
    }
    return merged(out);
}

// A client has always had the song list before anything refers to it.
ClientReceiver clientReceiver(bool fileData = false)
{
    ClientReceiver r;
    feed(r, {"SetMusic\r\n" + songList()});
    r.setFileDataExpected(fileData);
    return r;
}

TEST(ClientReceiver, EveryMessageWholeSplitAtEveryByteAndByteByByte)
{
    for (const ServerMessage &m : serverMessages()) {
        ClientReceiver whole = clientReceiver();
        EXPECT_EQ(feed(whole, {m.bytes}), std::vector<Item>{m.expected}) << m.bytes.constData();
        for (qsizetype cut = 1; cut < m.bytes.size(); ++cut) {
            ClientReceiver r = clientReceiver();
            EXPECT_EQ(feed(r, splitAt(m.bytes, cut)), std::vector<Item>{m.expected})
                << m.bytes.constData() << " cut at " << cut;
        }
        ClientReceiver slow = clientReceiver();
        EXPECT_EQ(feed(slow, byteByByte(m.bytes)), std::vector<Item>{m.expected});
    }
}

TEST(ClientReceiver, GluedPairsAndTriplesSplitAnywhereComeOutInOrder)
{
    const std::vector<ServerMessage> all = serverMessages();
    for (const ServerMessage &a : all) {
        for (const ServerMessage &b : all) {
            ClientReceiver pair = clientReceiver();
            EXPECT_EQ(feed(pair, {a.bytes + b.bytes}), (std::vector<Item>{a.expected, b.expected}))
                << (a.bytes + b.bytes).constData();
            for (const ServerMessage &c : all) {
                const QByteArray glued = a.bytes + b.bytes + c.bytes;
                const std::vector<Item> expected{a.expected, b.expected, c.expected};
                for (qsizetype cut = 0; cut <= glued.size(); cut += 11) {
                    ClientReceiver r = clientReceiver();
                    ASSERT_EQ(feed(r, splitAt(glued, cut)), expected) << glued.constData() << " cut at " << cut;
                }
            }
        }
    }
}

TEST(ClientReceiver, PlayMusicIsHandledAtOnceWhenItsNumberCannotGoOn)
{
    ClientReceiver r = clientReceiver();
    // 13 songs: "5" cannot become 50..59, "12" cannot become 120..129.
    for (const QByteArray &bytes : {QByteArray("PlayMusic\r\n5"), QByteArray("PlayMusic\r\n12"), QByteArray("PlayMusic\r\n0")}) {
        r.append(bytes);
        EXPECT_TRUE(r.next().has_value()) << bytes.constData();
        EXPECT_EQ(r.settleWaitMs(), 0);
    }
    // "1" could still be 10, 11 or 12: every client waits the same settle time.
    r.append("PlayMusic\r\n1");
    EXPECT_FALSE(r.next().has_value());
    EXPECT_EQ(r.settleWaitMs(), ClientReceiver::settleMs);
}

TEST(ClientReceiver, FileDataRunsUpToDoGetFileAndMessagesAroundItStayWhole)
{
    QByteArray chunk1("\xFF\xFB\x90\x64", 4);
    chunk1 += QByteArray("\r\nDoGetFil\r\n\0PlayMusic\r\n", 24) + QByteArray(300, '\x55');
    const QByteArray chunk2 = "SetX" + QByteArray(4000, '\xA7') + "DoGetFile\r";
    const QByteArray stream = chunk1 + "DoGetFile\r\n " + "PlayMusic\r\n3" + chunk2 + "DoGetFile\r\n "
                              + "StopAllMusic\r\n" + "PutFileReady\r\n/musik/l\xE5t 1.mp3";
    const std::vector<Item> expected{fileData(chunk1),
                                     message("DoGetFile", " "),
                                     message("PlayMusic", "3"),
                                     fileData(chunk2),
                                     message("DoGetFile", " "),
                                     message("StopAllMusic", ""),
                                     message("PutFileReady", "/musik/l\xE5t 1.mp3")};

    ClientReceiver whole = clientReceiver(true);
    EXPECT_EQ(feed(whole, {stream}), expected);
    for (qsizetype cut = 1; cut < stream.size(); ++cut) {
        ClientReceiver r = clientReceiver(true);
        ASSERT_EQ(feed(r, splitAt(stream, cut)), expected) << "cut at " << cut;
    }
    ClientReceiver slow = clientReceiver(true);
    EXPECT_EQ(feed(slow, byteByByte(stream)), expected);
}

TEST(ClientReceiver, UnknownWordsAndBadEnvelopesAreDropped)
{
    ClientReceiver r = clientReceiver();
    EXPECT_EQ(feed(r, {"stopallmusic\r\nHello\r\nworld",
                       "WaitBefore:70000\r\nPlayMusic\r\n4",
                       "WaitBefore:-1\r\nStopAllMusic\r\n",
                       "WaitBefore:x\r\nTimerResponse\r\n", "TimerResponse\r\n"}),
              (std::vector<Item>{message("TimerResponse", "")}));
}

TEST(ClientReceiver, EndlessMessagesFileDataAndGarbageOverflow)
{
    const QByteArray block(64 * 1024, 'a');
    const auto floods = [&](ClientReceiver r, const QByteArray &start) {
        r.append(start);
        for (int i = 0; i < 40 && !r.overflowed(); ++i) {
            r.append(block);
            while (r.next()) {
            }
        }
        return r.overflowed();
    };
    EXPECT_TRUE(floods(clientReceiver(), "SetMusic\r\n"));
    EXPECT_TRUE(floods(clientReceiver(), "PutFileReady\r\n"));
    EXPECT_TRUE(floods(clientReceiver(), "garbage"));
    EXPECT_TRUE(floods(clientReceiver(true), "\xFF\xFB"));
}

} // namespace
