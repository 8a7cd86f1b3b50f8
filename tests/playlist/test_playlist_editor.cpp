#include "playlist/ListWidgetEntries.h"
#include "playlist/PlaylistEditor.h"

#include <QListWidget>

#include <gtest/gtest.h>

namespace {

// The editor on a real list widget, counting the browser's file-selection runs and
// recording the role flag at every click notification of the list.
class PlaylistEditorTest : public ::testing::Test {
protected:
    PlaylistEditorTest()
    {
        QObject::connect(&list, &QListWidget::currentRowChanged, &list,
                         [this] { serverAtClicks.push_back(isServer); });
    }

    static QString song(int i) { return QStringLiteral("/musik/låt %1.mp3").arg(i); }

    void fill(int n)
    {
        for (int i = 0; i < n; ++i)
            editor.Add(song(i), song(i));
        editor.setChanged(false);
    }

    QStringList texts() const
    {
        QStringList all;
        for (int row = 0; row < list.count(); ++row)
            all.append(list.item(row)->text());
        return all;
    }

    QListWidget list;
    ListWidgetEntries entries{&list};
    bool isServer = true;
    int fileSelections = 0;
    std::vector<bool> serverAtClicks;
    PlaylistEditor editor{entries, isServer, [this] { ++fileSelections; }};
};

} // namespace

TEST_F(PlaylistEditorTest, AddAppendsWithoutSelectionAndInsertsAfterTheSelectedEntry)
{
    editor.Add(song(0), song(0));
    EXPECT_EQ(texts(), QStringList{song(0)});
    EXPECT_EQ(list.currentRow(), -1);  // appending selects nothing
    EXPECT_TRUE(editor.playlistChanged());
    EXPECT_EQ(fileSelections, 1);

    editor.Add(song(1), song(1));
    editor.Add(song(2), song(2));
    list.setCurrentRow(1);
    editor.Add(QStringLiteral("/lång/sökväg/ny.mp3"), song(9));
    EXPECT_EQ(texts(), (QStringList{song(0), song(1), song(9), song(2)}));
    EXPECT_EQ(list.currentRow(), 2);
    EXPECT_EQ(editor.fullPathOf(song(9)), QStringLiteral("/lång/sökväg/ny.mp3"));
    EXPECT_EQ(editor.fullPaths(), (QStringList{song(0), song(1), QStringLiteral("/lång/sökväg/ny.mp3"), song(2)}));

    // A song already listed, or one that vanished (no short path), adds no entry.
    editor.Add(song(1), song(1));
    editor.Add(QStringLiteral("/borta.mp3"), QString());
    EXPECT_EQ(list.count(), 4);
    EXPECT_EQ(editor.filePaths().size(), 4);
}

TEST_F(PlaylistEditorTest, RemoveTakesTheMatchingEntryAndItsPath)
{
    fill(3);
    const int before = fileSelections;
    editor.Remove(song(1));
    EXPECT_EQ(texts(), (QStringList{song(0), song(2)}));
    EXPECT_FALSE(editor.filePaths().contains(song(1)));
    EXPECT_TRUE(editor.playlistChanged());
    EXPECT_EQ(fileSelections, before + 1);
}

TEST_F(PlaylistEditorTest, DoubleClickRemovalSelectsTheNextOrLastEntryWithTheRoleFlagCleared)
{
    fill(5);
    list.setCurrentRow(4);
    serverAtClicks.clear();
    editor.RemoveEntry();
    EXPECT_EQ(texts(), (QStringList{song(0), song(1), song(2), song(3)}));
    EXPECT_EQ(list.currentRow(), 3);
    EXPECT_TRUE(editor.playlistChanged());
    ASSERT_FALSE(serverAtClicks.empty());
    for (bool server : serverAtClicks)
        EXPECT_FALSE(server);
    EXPECT_TRUE(isServer);

    list.setCurrentRow(1);
    editor.RemoveEntry();
    EXPECT_EQ(texts(), (QStringList{song(0), song(2), song(3)}));
    EXPECT_EQ(list.currentItem()->text(), song(2));
    EXPECT_FALSE(editor.filePaths().contains(song(1)));

    list.clear();
    editor.reset();
    fill(1);
    list.setCurrentRow(0);
    editor.RemoveEntry();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.currentRow(), -1);
    EXPECT_TRUE(editor.filePaths().isEmpty());
    EXPECT_TRUE(isServer);
}

TEST_F(PlaylistEditorTest, DraggingTheFirstOfFiveToIndexThree)
{
    fill(5);
    // Step by step, as the list moves its selection under the held button.
    list.setCurrentRow(0);
    editor.dragStart();
    for (int row = 1; row <= 3; ++row) {
        list.setCurrentRow(row);
        editor.dragStep();
    }
    EXPECT_EQ(editor.releaseLeft(), song(0));
    EXPECT_EQ(texts(), (QStringList{song(1), song(2), song(3), song(0), song(4)}));
    EXPECT_EQ(list.currentRow(), 3);
    EXPECT_TRUE(editor.playlistChanged());

    // One jump that only the release completes gives the same order.
    editor.reset();
    fill(5);
    list.setCurrentRow(0);
    editor.dragStart();
    list.setCurrentRow(3);
    EXPECT_EQ(editor.releaseLeft(), song(3));
    EXPECT_EQ(texts(), (QStringList{song(1), song(2), song(3), song(0), song(4)}));
    EXPECT_EQ(list.currentRow(), 3);
}

TEST_F(PlaylistEditorTest, AStaleDragMovesNothing)
{
    fill(5);
    list.setCurrentRow(0);
    editor.dragStart();
    editor.Remove(song(0));  // the dragged entry is gone from index 0
    editor.setChanged(false);
    list.setCurrentRow(2);
    editor.dragStep();
    EXPECT_EQ(texts(), (QStringList{song(1), song(2), song(3), song(4)}));
    EXPECT_FALSE(editor.playlistChanged());
    // The step takes up the entry now under the button.
    EXPECT_EQ(editor.dragIndex(), 2);
    EXPECT_EQ(editor.dragText(), song(3));
}

TEST_F(PlaylistEditorTest, ReleaseWithNoSelectionChangesNothing)
{
    fill(3);
    list.setCurrentRow(0);
    editor.dragStart();
    list.setCurrentRow(-1);
    EXPECT_EQ(editor.releaseLeft(), std::nullopt);
    EXPECT_EQ(texts(), (QStringList{song(0), song(1), song(2)}));
    EXPECT_FALSE(editor.playlistChanged());

    // An empty list clears the full-path box.
    list.clear();
    editor.reset();
    EXPECT_EQ(editor.releaseLeft(), QString());
}
