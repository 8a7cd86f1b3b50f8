#include "playlist/ListWidgetEntries.h"
#include "playlist/PlaylistEditor.h"

#include <QListWidget>

#include <algorithm>

#include <gtest/gtest.h>

namespace {

// The editor on a real list widget.
class PlaylistEditorTest : public ::testing::Test {
protected:
    static QString song(int i) { return QStringLiteral("/musik/låt %1.mp3").arg(i); }

    // Short and full path are the same here, so the full paths in order are the entries.
    void fill(int n)
    {
        editor.reset();
        for (int i = 0; i < n; ++i)
            editor.Add(song(i), song(i));
        editor.setChanged(false);
    }

    QListWidget list;
    ListWidgetEntries entries{&list};
    PlaylistEditor editor{entries, [] {}};
};

} // namespace

TEST_F(PlaylistEditorTest, AddInsertsAfterTheSelectionAndRemovalsKeepTheListAndItsMembersInStep)
{
    fill(3);
    list.setCurrentRow(1);
    const QString full = QStringLiteral("/lång/sökväg/ny.mp3");
    editor.Add(full, song(9));
    EXPECT_EQ(list.currentRow(), 2);
    EXPECT_EQ(editor.fullPaths(), (QStringList{song(0), song(1), full, song(2)}));
    EXPECT_TRUE(editor.playlistChanged());
    // A song already listed, or one that vanished (no short path), adds no entry.
    editor.Add(song(1), song(1));
    editor.Add(QStringLiteral("/borta.mp3"), QString());
    editor.Remove(song(1));
    EXPECT_EQ(editor.fullPaths(), (QStringList{song(0), full, song(2)}));
    EXPECT_FALSE(editor.filePaths().contains(song(1)));

    // A double-click removes the last or the only entry, marked as removing while the list
    // moves its selection.
    fill(5);
    list.setCurrentRow(4);
    std::vector<bool> removingAtClicks;
    QObject::connect(&list, &QListWidget::currentRowChanged, &list,
                     [&] { removingAtClicks.push_back(editor.removingEntry()); });
    editor.RemoveEntry();
    EXPECT_EQ(editor.fullPaths(), (QStringList{song(0), song(1), song(2), song(3)}));
    EXPECT_EQ(list.currentRow(), 3);
    EXPECT_TRUE(editor.playlistChanged());
    ASSERT_FALSE(removingAtClicks.empty());
    EXPECT_EQ(std::ranges::count(removingAtClicks, false), 0);
    EXPECT_FALSE(editor.removingEntry());
    fill(1);
    list.setCurrentRow(0);
    editor.RemoveEntry();
    EXPECT_TRUE(list.count() == 0 && editor.filePaths().isEmpty());
}

TEST_F(PlaylistEditorTest, ADragInOneJumpMovesOnReleaseAndAStaleOneOrNoSelectionMovesNothing)
{
    // The list's selection jumps from the first to the fourth under the held button.
    fill(5);
    list.setCurrentRow(0);
    editor.dragStart();
    list.setCurrentRow(3);
    // The path box shows the entry under the button before the pending move.
    EXPECT_EQ(editor.releaseLeft(), song(3));
    EXPECT_EQ(editor.fullPaths(), (QStringList{song(1), song(2), song(3), song(0), song(4)}));
    EXPECT_EQ(list.currentRow(), 3);

    fill(5);
    list.setCurrentRow(0);
    editor.dragStart();
    editor.Remove(song(0)); // the dragged entry is gone from index 0
    editor.setChanged(false);
    list.setCurrentRow(2);
    editor.dragStep();
    EXPECT_EQ(editor.dragText(), song(3)); // the step takes up the entry now under the button
    list.setCurrentRow(-1);
    EXPECT_EQ(editor.releaseLeft(), std::nullopt);
    EXPECT_EQ(editor.fullPaths(), (QStringList{song(1), song(2), song(3), song(4)}));
    EXPECT_FALSE(editor.playlistChanged());

    editor.reset(); // an empty list clears the full-path box
    EXPECT_EQ(editor.releaseLeft(), QString());
}
