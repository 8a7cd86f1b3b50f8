#include "app/PercentBar.h"
#include "app/WindowControls.h"
#include "app/WindowLayouts.h"

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

namespace {

class WindowLayoutsTest : public ::testing::Test {
protected:
    WindowLayoutsTest()
    {
        layouts.applyServerRole(true);
        // The folder list comes back wider than its design width; start from where it returns.
        layouts.toggleFolderList();
        layouts.toggleFolderList();
        window.show();
    }

    bool shown(const QWidget *w) const { return w->isVisibleTo(&window); }

    // Where and whether every control shows; where a hidden control waits is not seen.
    std::vector<std::pair<QRect, bool>> looks() const
    {
        std::vector<std::pair<QRect, bool>> all;
        for (const QWidget *w : window.findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            all.emplace_back(shown(w) ? w->geometry() : QRect(), shown(w));
        return all;
    }

    void expectShownControlsFit() const
    {
        for (const QWidget *w : window.findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            EXPECT_TRUE(!shown(w) || QRect(QPoint(), window.size()).contains(w->geometry()))
                << w->metaObject()->className() << " at " << w->x() << "," << w->y();
    }

    QWidget window;
    WindowControls c = createWindowControls(&window);
    WindowLayouts layouts{c};
};

} // namespace

TEST_F(WindowLayoutsTest, TheServerRoleSwitchesWindowsAndEachEnlargedListIsUndoneWhole)
{
    expectShownControlsFit();
    const auto full = looks();
    layouts.enlargePlaylist();
    layouts.toggleFileList();
    layouts.applyServerRole(false);
    EXPECT_EQ(window.size(), QSize(272, 98));
    expectShownControlsFit();
    layouts.applyServerRole(true);
    // The file list's click reaction, run after the switch, shows these two again.
    c.cmdAdd->show();
    c.cmdRemove->show();
    EXPECT_EQ(looks(), full);

    for (auto [list, toggle] : {std::pair{c.lstFiles, &WindowLayouts::togglePlaylist},
                                std::pair{c.dirFiles, &WindowLayouts::toggleFolderList},
                                std::pair{c.filFiles, &WindowLayouts::toggleFileList}}) {
        SCOPED_TRACE(list->metaObject()->className());
        // Restoring shows the add button whatever the file selection made of it.
        c.cmdAdd->hide();
        const int normalWidth = list->width();
        (layouts.*toggle)();
        EXPECT_GT(list->width(), normalWidth);
        expectShownControlsFit();
        EXPECT_FALSE(shown(c.cmdAdd) || shown(c.cmdRemove) || shown(c.drvFiles));
        EXPECT_TRUE(shown(c.cmdFilesCopyAll));
        (layouts.*toggle)();
        EXPECT_TRUE(shown(c.cmdAdd) && shown(c.cmdRemove));
        EXPECT_EQ(looks(), full);
    }
}

TEST(WindowControls, TimersThatCarryTimingArePreciseAndTheBarShowsOddValuesAsEmpty)
{
    QWidget window;
    const WindowControls c = createWindowControls(&window);
    for (QTimer *t : {c.tmrStopMusic, c.tmrGetFile, c.tmrClient})
        EXPECT_EQ(t->timerType(), Qt::PreciseTimer) << t->interval();

    PercentBar bar;
    bar.setPercent(37.5);
    EXPECT_DOUBLE_EQ(bar.percent(), 37.5);
    for (double outside : {0.0, 100.5, 1e9}) {
        bar.setPercent(outside);
        EXPECT_DOUBLE_EQ(bar.percent(), PercentBar::emptyValue) << outside;
    }
}
