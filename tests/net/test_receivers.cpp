// The two stream receivers fed plain byte arrays: every message whole, split at every
// byte, glued in pairs and triples, file data around "DoGetFile", and the caps.
#include "net/ClientReceiver.h"
#include "net/ServerReceiver.h"
#include "net/WireScan.h"

#include <gtest/gtest.h>

#include <functional>
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

ServerReceiver serverReceiver()
{
    const QList<QByteArray> songs = wireScan::songLines(songList());
    return ServerReceiver([songs](int slot, const QByteArray &path) { return slot < songs.size() && songs[slot] == path; });
}

// A client has always had the song list before anything refers to it.
ClientReceiver clientReceiver(bool fileData = false)
{
    ClientReceiver r;
    r.append("SetMusic\r\n" + songList());
    r.settle();
    (void)r.next();
    r.setFileDataExpected(fileData);
    return r;
}

bool waits(const ServerReceiver &r) { return r.waitsToSettle(); }
bool waits(const ClientReceiver &r) { return r.settleWaitMs() > 0; }

// Adjacent pieces of file data count as one: how TCP cuts a chunk is not the point.
void mergeInto(std::vector<WireMessage> &out, const WireMessage &m) { out.push_back(m); }
void mergeInto(std::vector<Item> &out, const Item &item)
{
    if (item.kind == Item::Kind::FileData && !out.empty() && out.back().kind == Item::Kind::FileData)
        out.back().fileData += item.fileData;
    else
        out.push_back(item);
}

// Everything the receiver hands out for these reads, settling whenever it asks to.
template <typename R>
auto feed(R &r, const std::vector<QByteArray> &reads)
{
    std::vector<std::remove_cvref_t<decltype(*r.next())>> out;
    const auto drain = [&] {
        while (auto m = r.next())
            mergeInto(out, *m);
    };
    for (const QByteArray &bytes : reads) {
        r.append(bytes);
        drain();
    }
    while (waits(r)) {
        r.settle();
        drain();
    }
    return out;
}

std::vector<QByteArray> splitAt(const QByteArray &bytes, qsizetype cut) { return {bytes.left(cut), bytes.mid(cut)}; }

std::vector<QByteArray> byteByByte(const QByteArray &bytes)
{
    std::vector<QByteArray> reads;
    for (const char b : bytes)
        reads.emplace_back(1, b);
    return reads;
}

template <typename M>
struct Case {
    QByteArray bytes;
    M expected;
};

// Each message whole, cut at every byte and byte by byte; every pair glued; every triple
// glued and cut every `step` bytes. Each comes out once, whole, in order.
template <typename R, typename M>
void expectEveryCutAndGlue(const std::vector<Case<M>> &all, const std::function<R()> &make, qsizetype step)
{
    for (const Case<M> &m : all) {
        for (qsizetype cut = 0; cut < m.bytes.size(); ++cut) {
            R r = make();
            EXPECT_EQ(feed(r, splitAt(m.bytes, cut)), std::vector<M>{m.expected}) << m.bytes.constData() << " cut at " << cut;
        }
        R slow = make();
        EXPECT_EQ(feed(slow, byteByByte(m.bytes)), std::vector<M>{m.expected}) << m.bytes.constData();
    }
    for (const Case<M> &a : all) {
        for (const Case<M> &b : all) {
            R pair = make();
            EXPECT_EQ(feed(pair, {a.bytes + b.bytes}), (std::vector<M>{a.expected, b.expected}));
            for (const Case<M> &c : all) {
                const QByteArray glued = a.bytes + b.bytes + c.bytes;
                for (qsizetype cut = 0; cut <= glued.size(); cut += step) {
                    R r = make();
                    ASSERT_EQ(feed(r, splitAt(glued, cut)), (std::vector<M>{a.expected, b.expected, c.expected}))
                        << glued.constData() << " cut at " << cut;
                }
            }
        }
    }
}

Item message(const QByteArray &command, const QByteArray &data) { return Item{Item::Kind::Message, {command, data}, {}, 0}; }
Item fileData(const QByteArray &bytes) { return Item{Item::Kind::FileData, {}, bytes, 0}; }

TEST(Receivers, EveryMessageOfBothDirectionsSplitAnywhereAndGluedComesOutOnceInOrder)
{
    expectEveryCutAndGlue<ServerReceiver, WireMessage>(
        {
            {"Connected\r\n", {"Connected", ""}},
            {"MirrorTimerResponse\r\n", {"MirrorTimerResponse", ""}},
            {"GetFile\r\n/musik/l\xE5t 2.mp3\r\n2", {"GetFile", "/musik/l\xE5t 2.mp3\r\n2"}},
            {"SetFile\r\nD:\\Musik\\Pop\\x.mp3\r\n12", {"SetFile", "D:\\Musik\\Pop\\x.mp3\r\n12"}},
            {"GetFile\r\n/musik/l\xE5t 1.mp3\r\n1", {"GetFile", "/musik/l\xE5t 1.mp3\r\n1"}},
            {"SetFile\r\n/elsewhere.mp3\r\n200", {"SetFile", "/elsewhere.mp3\r\n200"}},
            {"AllFilesLoaded\r\n", {"AllFilesLoaded", ""}},
            {"HasNeededFiles\r\n", {"HasNeededFiles", ""}},
        },
        std::function<ServerReceiver()>(serverReceiver), 7);

    expectEveryCutAndGlue<ClientReceiver, Item>(
        {
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
        },
        std::function<ClientReceiver()>([] { return clientReceiver(); }), 11);
}

TEST(Receivers, ANumberThatCannotGoOnIsHandledWithoutWaiting)
{
    // Slot 2's path is announced nowhere else, so "2" is whole at once: no wait per chunk.
    ServerReceiver server = serverReceiver();
    server.append("GetFile\r\n/musik/l\xE5t 2.mp3\r\n2");
    EXPECT_TRUE(server.next().has_value());
    EXPECT_FALSE(server.waitsToSettle());
    // One path under slots 1 and 12: "1" might be the start of "12".
    ServerReceiver twice([](int slot, const QByteArray &) { return slot == 1 || slot == 12; });
    twice.append("GetFile\r\n/a.mp3\r\n1");
    EXPECT_FALSE(twice.next().has_value());
    EXPECT_TRUE(twice.waitsToSettle());
    twice.settle();
    EXPECT_EQ(twice.next(), (WireMessage{"GetFile", "/a.mp3\r\n1"}));

    // 13 songs: "5" cannot become 50..59, "12" cannot become 120..129; every client waits
    // the same settle time for "1", which could still be 10, 11 or 12.
    ClientReceiver client = clientReceiver();
    for (const QByteArray &slot : {QByteArray("5"), QByteArray("12"), QByteArray("0"), QByteArray("1")}) {
        client.append("PlayMusic\r\n" + slot);
        EXPECT_EQ(client.next().has_value(), slot != "1") << slot.constData();
        EXPECT_EQ(client.settleWaitMs(), slot == "1" ? ClientReceiver::settleMs : 0);
    }
}

TEST(Receivers, UnknownWordsAndBadEnvelopesAreDropped)
{
    ServerReceiver server = serverReceiver();
    EXPECT_EQ(feed(server, {"connected\r\nConnected \r\nHello\r\nworld", "no line ends here", "Connected\r\n"}),
              (std::vector<WireMessage>{{"Connected", ""}}));
    ClientReceiver client = clientReceiver();
    EXPECT_EQ(feed(client, {"stopallmusic\r\nHello\r\nworld", "WaitBefore:70000\r\nPlayMusic\r\n4",
                            "WaitBefore:-1\r\nStopAllMusic\r\n", "WaitBefore:x\r\nTimerResponse\r\n", "TimerResponse\r\n"}),
              (std::vector<Item>{message("TimerResponse", "")}));
}

TEST(ClientReceiver, FileDataRunsUpToDoGetFileAndMessagesAroundItStayWhole)
{
    QByteArray chunk1("\xFF\xFB\x90\x64", 4);
    chunk1 += QByteArray("\r\nDoGetFil\r\n\0PlayMusic\r\n", 24) + QByteArray(300, '\x55');
    const QByteArray chunk2 = "SetX" + QByteArray(4000, '\xA7') + "DoGetFile\r";
    const QByteArray stream = chunk1 + "DoGetFile\r\n " + "PlayMusic\r\n3" + chunk2 + "DoGetFile\r\n "
                              + "StopAllMusic\r\n" + "PutFileReady\r\n/musik/l\xE5t 1.mp3";
    const std::vector<Item> expected{fileData(chunk1),       message("DoGetFile", " "),
                                     message("PlayMusic", "3"), fileData(chunk2),
                                     message("DoGetFile", " "), message("StopAllMusic", ""),
                                     message("PutFileReady", "/musik/l\xE5t 1.mp3")};
    for (qsizetype cut = 0; cut < stream.size(); ++cut) {
        ClientReceiver r = clientReceiver(true);
        ASSERT_EQ(feed(r, splitAt(stream, cut)), expected) << "cut at " << cut;
    }
    ClientReceiver slow = clientReceiver(true);
    EXPECT_EQ(feed(slow, byteByByte(stream)), expected);
}

TEST(Receivers, EndlessMessagesFileDataAndGarbageOverflow)
{
    const auto floods = [](auto r, const QByteArray &start, qsizetype blockBytes) {
        r.append(start);
        for (int i = 0; i < 40 && !r.overflowed(); ++i) {
            r.append(QByteArray(blockBytes, 'a'));
            while (r.next()) {
            }
        }
        return r.overflowed();
    };
    EXPECT_TRUE(floods(serverReceiver(), "GetFile\r\n", 4096));
    EXPECT_TRUE(floods(serverReceiver(), "\x07", 4096));
    EXPECT_TRUE(floods(clientReceiver(), "SetMusic\r\n", 64 * 1024));
    EXPECT_TRUE(floods(clientReceiver(), "garbage", 64 * 1024));
    EXPECT_TRUE(floods(clientReceiver(true), "\xFF\xFB", 64 * 1024));
}

} // namespace
