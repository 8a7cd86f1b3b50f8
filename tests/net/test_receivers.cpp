// The two stream receivers fed plain byte arrays: every message whole, split at every
// byte, glued in pairs and triples, file data around "DoGetFile", hostile input and the caps.
#include "net/ClientReceiver.h"
#include "net/ServerReceiver.h"
#include "net/WireScan.h"
#include "tests/net/WordySong.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

using Item = ClientReceiver::Item;
using C = ClientCommand;

// 13 songs, so slot numbers 1 can still go on to 10, 11 and 12.
QByteArray songList()
{
    QList<QByteArray> songs;
    for (int i = 0; i < 12; ++i)
        songs.append("/musik/l\xE5t " + QByteArray::number(i) + ".mp3");
    songs.append("D:\\Musik\\Pop\\x.mp3");
    return songs.join("\r\n");
}

ServerReceiver serverReceiver()
{
    const QList<QByteArray> songs = wireScan::songLines(songList());
    return ServerReceiver(
        [songs](int slot, const QByteArray &path) { return slot < songs.size() && songs[slot] == path; });
}

// `bytes` as read now.
void put(StreamReceiver &r, const QByteArray &bytes)
{
    r.append(bytes, ReceiveBuffer::nowNs());
}

// A client has always had the song list before anything refers to it; with `songBytes`,
// it fetches a song of that size.
ClientReceiver clientReceiver(qint64 songBytes = -1)
{
    ClientReceiver r;
    put(r, "SetMusic\r\n" + songList());
    r.settle();
    (void)r.next();
    if (songBytes >= 0)
        r.expectFileData(songBytes);
    return r;
}

// Everything the receiver hands out for these reads, settling whenever it asks to.
// Adjacent pieces of file data count as one: how TCP cuts a chunk is not the point.
template <typename R> auto feed(R &r, const std::vector<QByteArray> &reads)
{
    std::vector<std::remove_cvref_t<decltype(*r.next())>> out;
    const auto drain = [&] {
        while (auto m = r.next()) {
            if constexpr (std::is_same_v<R, ClientReceiver>) {
                if (m->kind == Item::Kind::FileData && !out.empty() && out.back().kind == Item::Kind::FileData) {
                    out.back().fileData += m->fileData;
                    continue;
                }
            }
            out.push_back(*m);
        }
    };
    for (const QByteArray &bytes : reads) {
        put(r, bytes);
        drain();
    }
    while (r.settleWaitMs() > 0) {
        r.settle();
        drain();
    }
    return out;
}

// `stream` cut into two reads at every byte, and read byte by byte: the same items each time.
template <typename R, typename M>
void expectEveryCut(const std::function<R()> &make, const QByteArray &stream, const std::vector<M> &expected)
{
    for (qsizetype cut = 0; cut < stream.size(); ++cut) {
        R r = make();
        ASSERT_EQ(feed(r, {stream.left(cut), stream.mid(cut)}), expected) << "cut at " << cut;
    }
    std::vector<QByteArray> bytes;
    for (const char b : stream)
        bytes.emplace_back(1, b);
    R slow = make();
    EXPECT_EQ(feed(slow, bytes), expected);
}

Item message(ClientCommand command, const QByteArray &data)
{
    return Item{Item::Kind::Message, {command, data}, {}, 0};
}
Item fileData(const QByteArray &bytes)
{
    return Item{Item::Kind::FileData, {}, bytes, 0};
}

TEST(Receivers, EveryMessageOfBothDirectionsSplitAnywhereAndGluedComesOutOnceInOrder)
{
    // Each message as its bytes and what comes out; glued in this order, so every message
    // also meets the words that may end it.
    using S = ServerCommand;
    std::vector<std::pair<QByteArray, ServerMessage>> toServer{
        {"Connected\r\n", {S::Connected, ""}},
        {"GetFile\r\n/musik/l\xE5t 1.mp3\r\n1", {S::GetFile, "/musik/l\xE5t 1.mp3\r\n1"}},
        {"MirrorTimerResponse\r\n", {S::MirrorTimerResponse, ""}},
        {"SetFile\r\nD:\\Musik\\Pop\\x.mp3\r\n12", {S::SetFile, "D:\\Musik\\Pop\\x.mp3\r\n12"}},
        {"AllFilesLoaded\r\n", {S::AllFilesLoaded, ""}},
        {"HasNeededFiles\r\n", {S::HasNeededFiles, ""}},
    };
    std::vector<std::pair<QByteArray, Item>> toClient{
        {"SetMusic\r\n" + songList(), message(C::SetMusic, songList())},
        {"PlayMusic\r\n1", message(C::PlayMusic, "1")},
        {"TimerResponse\r\n", message(C::TimerResponse, "")},
        {"SetFileDone\r\n/musik/l\xE5t 1.mp3\r\n9000", message(C::SetFileDone, "/musik/l\xE5t 1.mp3\r\n9000")},
        {"StopAllMusic\r\n", message(C::StopAllMusic, "")},
        {"SkipFile\r\n/musik/l\xE5t 1.mp3\r\n1", message(C::SkipFile, "/musik/l\xE5t 1.mp3\r\n1")},
        {"PutFileReady\r\n/not/announced.mp3", message(C::PutFileReady, "/not/announced.mp3")},
        {"WaitBefore:30\r\nPlayMusic\r\n5", Item{Item::Kind::Envelope, {C::PlayMusic, "5"}, {}, 30}},
        {"DoGetFile\r\n ", message(C::DoGetFile, " ")},
        {"ReStartPutFile\r\n ", message(C::ReStartPutFile, " ")},
        {"SetMusic\r\n" + songList(), message(C::SetMusic, songList())},
    };
    const auto check = [](const auto &make, const auto &cases) {
        QByteArray stream;
        std::vector<std::remove_cvref_t<decltype(cases[0].second)>> expected;
        for (const auto &[bytes, out] : cases) {
            stream += bytes;
            expected.push_back(out);
        }
        expectEveryCut(make, stream, expected);
    };
    check(std::function<ServerReceiver()>(serverReceiver), toServer);
    check(std::function<ClientReceiver()>([] { return clientReceiver(); }), toClient);
}

TEST(Receivers, ANumberThatCannotGoOnIsWholeAtOnceAndAPlayMusicThatMayKeepsItsMoment)
{
    // One path under slots 1 and 12: "1" might be the start of "12"; elsewhere it is whole.
    ServerReceiver twice([](int slot, const QByteArray &) { return slot == 1 || slot == 12; });
    put(twice, "GetFile\r\n/a.mp3\r\n1");
    EXPECT_FALSE(twice.next().has_value());
    EXPECT_EQ(twice.settleWaitMs(), ServerReceiver::settleMs);
    ServerReceiver once = serverReceiver();
    put(once, "GetFile\r\n/musik/l\xE5t 1.mp3\r\n1");
    EXPECT_TRUE(once.next().has_value());

    // 13 songs: "5" cannot become 50..59, nor "12" 120..129.
    ClientReceiver client = clientReceiver();
    for (const QByteArray &slot : {QByteArray("5"), QByteArray("12")}) {
        put(client, "PlayMusic\r\n" + slot);
        EXPECT_TRUE(client.next().has_value()) << slot.constData();
    }
    // "1" could still be 10..12. Alone, with a message or a chunk behind it, or in an
    // envelope, it waits the settle time from its read, and what is behind it waits too.
    const QByteArray chunk("\xFF\xFB\x90", 3);
    for (const QByteArray &bytes : {QByteArray("PlayMusic\r\n1"), QByteArray("PlayMusic\r\n1SkipFiles\r\n "),
                                    "PlayMusic\r\n1" + chunk, QByteArray("WaitBefore:30\r\nPlayMusic\r\n1")}) {
        ClientReceiver r = clientReceiver(3);
        put(r, bytes);
        EXPECT_FALSE(r.next().has_value()) << bytes.constData();
        EXPECT_GT(r.settleWaitMs(), 0);
        EXPECT_LE(r.settleWaitMs(), ClientReceiver::settleMs);
    }
    // Read long enough ago, it is due: handed out at once, then what came behind it.
    ClientReceiver late = clientReceiver(3);
    late.append("PlayMusic\r\n1" + chunk + "DoGetFile\r\n ", ReceiveBuffer::nowNs() - 1000000000);
    EXPECT_EQ(late.next(), message(C::PlayMusic, "1"));
    EXPECT_EQ(late.next(), fileData(chunk));
    // The wait counts from the read of the last digit, not of what ended the number.
    ClientReceiver split = clientReceiver();
    split.append("PlayMusic\r\n1", ReceiveBuffer::nowNs() - 30000000);
    put(split, "StopAllMusic\r\n");
    EXPECT_FALSE(split.next().has_value());
    EXPECT_LE(split.settleWaitMs(), ClientReceiver::settleMs - 25);
}

TEST(ClientReceiver, ChunksAreCutByCountWhateverTheyHoldAndSlotsGluedToThemKeepTheirDigits)
{
    // Play pressed while a song is fetched: "PlayMusic" and the next chunk arrive in one read,
    // and the chunk may begin with digits or hold what looks like messages. The slots are "0"
    // and "12", not "04" or "129" (13 songs), and each chunk keeps every byte: 4000, then the
    // 325 that remain of the song.
    QByteArray chunk1 = "4" + QByteArray("\r\nDoGetFil\r\n\0PlayMusic\r\nDoGetFile\r\n ", 36);
    chunk1 += QByteArray(4000 - chunk1.size() - 6, '\xA7') + "DoGetF";
    const QByteArray chunk2 = "9" + QByteArray(314, '\x33') + "DoGetFile\r";
    const QByteArray stream = "DoGetFile\r\n PlayMusic\r\n0" + chunk1 + "DoGetFile\r\n PlayMusic\r\n12" + chunk2 +
                              "DoGetFile\r\n StopAllMusic\r\n";
    const std::vector<Item> expected{message(C::DoGetFile, " "), message(C::PlayMusic, "0"),  fileData(chunk1),
                                     message(C::DoGetFile, " "), message(C::PlayMusic, "12"), fileData(chunk2),
                                     message(C::DoGetFile, " "), message(C::StopAllMusic, "")};
    expectEveryCut(std::function<ClientReceiver()>([&] { return clientReceiver(chunk1.size() + chunk2.size()); }),
                   stream, expected);

    // The end of the connection forgets the mode and the song list.
    ClientReceiver ended = clientReceiver(100);
    ended.clear();
    EXPECT_FALSE(ended.fileDataExpected() || !ended.announcedSongs().isEmpty());
}

// A fetch of `song` as the server writes it, in chunks of `chunkBytes(i)` with broadcasts
// before and after the requests, met in reads of `readSize()` bytes that never run past where
// the server waits for the next request, asking for each chunk as the transfer does.
void fetch(const QByteArray &song, const std::function<qsizetype(int)> &chunkBytes,
           const std::function<qsizetype()> &readSize)
{
    ClientReceiver r = clientReceiver(song.size());
    QByteArray got;
    std::vector<Item> sent, handed;
    bool lastWasDoGetFile = false;
    const auto drain = [&] {
        while (const std::optional<Item> item = r.next()) {
            lastWasDoGetFile = item->kind == Item::Kind::Message && item->message.command == C::DoGetFile;
            if (item->kind == Item::Kind::FileData)
                got += item->fileData;
            else if (!lastWasDoGetFile)
                handed.push_back(*item);
        }
    };
    const auto feedReads = [&](const QByteArray &bytes) {
        for (qsizetype at = 0, n = 0; at < bytes.size(); at += n) {
            n = std::min(readSize(), bytes.size() - at);
            put(r, bytes.sliced(at, n));
            drain();
        }
    };
    for (qsizetype i = 0, at = 0, n = 1; n > 0; ++i, at += n) {
        QByteArray before, after;
        const auto broadcast = [&](QByteArray &bytes, const QByteArray &word, const Item &item) {
            bytes += word;
            sent.push_back(item);
        };
        if (i % 7 == 3)
            broadcast(before, "StopAllMusic\r\n", message(C::StopAllMusic, ""));
        if (i % 13 == 8)
            broadcast(after, "WaitBefore:10\r\nPlayMusic\r\n3",
                      Item{Item::Kind::Envelope, {C::PlayMusic, "3"}, {}, 10});
        n = std::min(chunkBytes(int(i)), song.size() - at);
        if (n > 0)
            after += song.sliced(at, n) + "DoGetFile\r\n ";
        else
            broadcast(after, "PutFileReady\r\nD:\\Musik\\Pop\\x.mp3",
                      message(C::PutFileReady, "D:\\Musik\\Pop\\x.mp3"));
        feedReads(before);
        r.chunkAsked();
        feedReads(after);
        // The server waits for the next request now: nothing may be held back.
        while (r.settleWaitMs() > 0) {
            r.settle();
            drain();
        }
        ASSERT_EQ(got.size(), at + n);
        ASSERT_TRUE(lastWasDoGetFile || n == 0) << at;
    }
    EXPECT_TRUE(got == song);
    EXPECT_TRUE(handed == sent);
}

TEST(ClientReceiver, ASongHoldingWireWordsAtChunkEdgesArrivesWholeAtEitherSpeedAndAcrossSwitches)
{
    // Where the speed goes up below, the first large chunk holds "DoGetFile" at 4000, once
    // with a word behind it.
    QByteArray song = wordySong(1000 * 1000, 11);
    song.replace(20000, 26, "DoGetFile\r\n StopAllMusic\r\n");
    song.replace(836000, 12, "DoGetFile\r\n ");
    const std::function<qsizetype(int)> speeds[] = {[](int) { return 4000; }, [](int) { return 200000; },
                                                    [](int i) { return (i / 4) % 2 ? 200000 : 4000; }};
    int read = 0;
    const std::function<qsizetype()> reads[] = {[&] { return 8 + (read++ * 5) % 9; },
                                                [&] { return 1 + (qsizetype(read++) * 7919) % 70000; }};
    for (int speed = 0; speed < 3; ++speed) {
        for (int how = 0; how < 2; ++how) {
            SCOPED_TRACE(testing::Message() << "speed " << speed << ", reads " << how);
            fetch(song, speeds[speed], reads[how]);
        }
    }
}

TEST(ClientReceiver, TheSongListHoldsAll201SlotsOfLongPathsAndEndsThere)
{
    // The longest legal list: 201 paths of 4096 bytes, arriving in 64 KiB reads; a 202nd
    // line is no slot.
    QList<QByteArray> paths;
    for (int i = 0; i <= 201; ++i)
        paths.append('/' + QByteArray::number(i).rightJustified(4095, 'p'));
    const QByteArray bytes = "SetMusic\r\n" + paths.join("\r\n");
    std::vector<QByteArray> reads;
    for (qsizetype at = 0; at < bytes.size(); at += 64 * 1024)
        reads.push_back(bytes.mid(at, 64 * 1024));
    ClientReceiver r;
    EXPECT_EQ(feed(r, reads), std::vector<Item>{message(C::SetMusic, paths.join("\r\n"))});
    ASSERT_EQ(r.announcedSongs().size(), 201);
    EXPECT_EQ(r.announcedSongs().back(), paths[200]);
    // So "20" may still become slot 200, and waits.
    put(r, "PlayMusic\r\n20");
    EXPECT_FALSE(r.next().has_value());
}

TEST(Receivers, UnknownWordsAndBadEnvelopesAreDroppedWhole)
{
    ServerReceiver server = serverReceiver();
    EXPECT_EQ(feed(server, {"connected\r\nConnected \r\nHello\r\nworld", "no line ends here", "Connected\r\n"}),
              (std::vector<ServerMessage>{{ServerCommand::Connected, ""}}));
    // A bad delay of any length takes its inner message with it; what follows stays whole.
    ClientReceiver client = clientReceiver();
    EXPECT_EQ(feed(client, {"stopallmusic\r\nHello\r\nworld", "WaitBefore:70000\r\nPlayMusic\r\n4",
                            "WaitBefore:-1\r\nStopAllMusic\r\n", "WaitBefore:x\r\nTimerResponse\r\n",
                            "WaitBefore:12345678901\r\nPlayMusic\r\n0", "WaitBefore:" + QByteArray(3000, '7'),
                            "\r\nPlayMusic\r\n2TimerResponse\r\n"}),
              (std::vector<Item>{message(C::TimerResponse, "")}));
}

TEST(Receivers, UnfinishedMessagesAndJunkCostWorkInProportionToTheirBytesAndEndlessInputOverflows)
{
    // Every kind whose end may lie far off, left unfinished below the cap, in reads of 8 to 16
    // bytes: however long it grows, each read costs what it brought, not what came before it.
    const auto perByte = [](auto r, const QByteArray &start, qsizetype size) {
        const QByteArray bytes = start + QByteArray(size - start.size(), 'p');
        bool handed = false;
        for (qsizetype at = 0, n = 0; at < bytes.size(); at += n) {
            n = std::min<qsizetype>(8 + at % 9, bytes.size() - at);
            put(r, bytes.sliced(at, n));
            handed |= r.next().has_value();
        }
        EXPECT_FALSE(handed || r.overflowed());
        return double(r.bytesExamined()) / double(bytes.size());
    };
    for (const char *start : {"GetFile\r\n", "SetFile\r\n"})
        EXPECT_LE(perByte(serverReceiver(), start, ServerReceiver::maxMessageBytes - 100), 2) << start;
    for (const char *start : {"SetFileDone\r\n", "SkipFile\r\n", "PutFileReady\r\n", "SetMusic\r\n",
                              "WaitBefore:", "WaitBefore:5\r\nSetFileDone\r\n", "WaitBefore:5\r\nPutFileReady\r\n"}) {
        EXPECT_LE(perByte(clientReceiver(), start, 128 * 1024), 2) << start;
        // Where a chunk is due, such bytes might also be its first: it is looked for alongside.
        EXPECT_LE(perByte(clientReceiver(1 << 20), start, 128 * 1024), 2) << start;
    }

    // Every unknown byte starts a search for the next word; the searches together look at
    // each byte about once, so one large read of junk is handled at once.
    const auto examined = [](auto r, const QByteArray &junk) {
        const int repeats = 64 * 1024;
        put(r, junk.repeated(repeats));
        int got = 0;
        while (r.next())
            ++got;
        EXPECT_EQ(got, repeats);
        return double(r.bytesExamined()) / double(junk.size() * repeats);
    };
    EXPECT_LE(examined(serverReceiver(), "xAllFilesLoaded\r\n"), 2);
    EXPECT_LE(examined(clientReceiver(), "xStopAllMusic\r\n"), 2);

    // Endless messages, file data and garbage.
    const auto floods = [](auto r, const QByteArray &start, qsizetype blockBytes) {
        put(r, start);
        for (int i = 0; i < 40 && !r.overflowed(); ++i) {
            put(r, QByteArray(blockBytes, 'a'));
            while (r.next()) {
            }
        }
        return r.overflowed();
    };
    EXPECT_TRUE(floods(serverReceiver(), "GetFile\r\n", 4096));
    EXPECT_TRUE(floods(serverReceiver(), "\x07", 4096));
    for (const char *start : {"SetMusic\r\n", "garbage", "WaitBefore:"})
        EXPECT_TRUE(floods(clientReceiver(), start, 64 * 1024)) << start;
    EXPECT_TRUE(floods(clientReceiver(1 << 30), "\xFF\xFB", 64 * 1024));
}

} // namespace
