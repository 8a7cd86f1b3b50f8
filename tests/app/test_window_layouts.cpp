#include "app/WindowControls.h"
#include "app/WindowLayouts.h"

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

TEST(WindowLayouts, TheServerRoleSwitchesWindowsAndEachEnlargedListIsUndoneWhole)
{
    QWidget window;
    WindowControls c = createWindowControls(&window);
    WindowLayouts layouts{c};
    layouts.applyServerRole(true);
    // The folder list comes back wider than its design width; start from where it returns.
    layouts.toggleFolderList();
    layouts.toggleFolderList();
    window.show();
    const auto shown = [&](const QWidget *w) { return w->isVisibleTo(&window); };
    const QList<QWidget *> controls = window.findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    // Where and whether every control shows; where a hidden control waits is not seen.
    const auto looks = [&] {
        std::vector<std::pair<QRect, bool>> all;
        for (const QWidget *w : controls)
            all.emplace_back(shown(w) ? w->geometry() : QRect(), shown(w));
        return all;
    };
    const auto expectShownControlsFit = [&] {
        for (const QWidget *w : controls)
            EXPECT_TRUE(!shown(w) || QRect(QPoint(), window.size()).contains(w->geometry()))
                << w->metaObject()->className() << " at " << w->x() << "," << w->y();
    };

    expectShownControlsFit();
    const auto full = looks();
    layouts.enlargePlaylist();
    layouts.toggleFileList();
    layouts.applyServerRole(false);
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
        EXPECT_EQ(looks(), full);
    }

    for (QTimer *t : {c.tmrStopMusic, c.tmrGetFile, c.tmrClient})
        EXPECT_EQ(t->timerType(), Qt::PreciseTimer) << t->interval(); // they carry timing
}
