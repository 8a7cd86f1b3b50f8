#include "app/PercentBar.h"
#include "app/WindowControls.h"
#include "app/WindowLayouts.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

// What a person sees of one control.
struct Look {
    std::string kind;
    QRect geometry;
    bool shown = false;
    bool enabled = false;
    bool operator==(const Look &) const = default;
};

void PrintTo(const Look &look, std::ostream *os)
{
    *os << look.kind << " " << look.geometry.x() << "," << look.geometry.y() << " " << look.geometry.width() << "x"
        << look.geometry.height() << (look.shown ? " shown" : " hidden") << (look.enabled ? "" : " disabled");
}

const QSize smallWindow(272, 98);
const QSize fullWindow(641, 426);

class WindowLayoutsTest : public ::testing::Test {
protected:
    WindowLayoutsTest()
    {
        layouts.applyServerRole(true);
        // The folder list comes back 2295 wide, not at its design width 2280; both count as
        // normal. Start from the width it comes back to.
        layouts.toggleFolderList();
        layouts.toggleFolderList();
        window.show();
    }

    bool shown(const QWidget *w) const { return w->isVisibleTo(&window); }

    // Every control's look; where a hidden control waits is not seen.
    std::vector<Look> looks() const
    {
        std::vector<Look> all;
        for (const QWidget *w : window.findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            all.push_back({w->metaObject()->className(), shown(w) ? w->geometry() : QRect(), shown(w), w->isEnabled()});
        return all;
    }

    // Every shown control lies inside the window, and the hidden ones inside the full one.
    void expectControlsFit() const
    {
        for (const QWidget *w : window.findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            const QRect area(QPoint(0, 0), shown(w) ? window.size() : fullWindow);
            EXPECT_TRUE(area.contains(w->geometry()))
                << w->metaObject()->className() << " at " << w->x() << "," << w->y() << " in " << area.width();
        }
    }

    QWidget window;
    WindowControls c = createWindowControls(&window);
    WindowLayouts layouts{c};
};

} // namespace

TEST_F(WindowLayoutsTest, TheServerRoleSwitchesBetweenTheSmallAndTheFullWindowAndUndoesEnlargements)
{
    EXPECT_EQ(window.size(), fullWindow);
    expectControlsFit();
    const std::vector<Look> full = looks();

    layouts.enlargePlaylist();
    layouts.toggleFileList();
    layouts.applyServerRole(false);
    // The file list's click reaction hides these two in the small window.
    c.cmdAdd->hide();
    c.cmdRemove->hide();
    EXPECT_EQ(window.size(), smallWindow);
    // The playlist, the browser and their path boxes all lie outside the small window.
    expectControlsFit();

    layouts.applyServerRole(true);
    c.cmdAdd->show();
    c.cmdRemove->show();
    EXPECT_EQ(looks(), full);
}

TEST_F(WindowLayoutsTest, EachEnlargedListFitsTheWindowAndASecondReleaseRestoresEverything)
{
    struct Case {
        const char *name;
        QListWidget *list;
        void (WindowLayouts::*toggle)();
        bool (WindowLayouts::*enlarged)() const;
        QString caption; // of the path label; empty for the playlist's own path box
    };
    const std::vector<Case> cases{
        {"playlist", c.lstFiles, &WindowLayouts::togglePlaylist, &WindowLayouts::isPlaylistEnlarged, {}},
        {"folders", c.dirFiles, &WindowLayouts::toggleFolderList, &WindowLayouts::isFolderListEnlarged,
         QStringLiteral("Fullständig sökväg till katalogen:")},
        {"files", c.filFiles, &WindowLayouts::toggleFileList, &WindowLayouts::isFileListEnlarged,
         QStringLiteral("Fullständig sökväg till filen:")},
    };
    // In order, so the folder list is enlarged after the playlist was enlarged and restored.
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        // Restoring shows the add and remove buttons whatever the file selection made of them.
        c.cmdAdd->hide();
        c.cmdAdd->setEnabled(true);
        c.cmdRemove->setEnabled(false);
        const int normalWidth = k.list->width();
        const std::vector<Look> before = looks();

        (layouts.*k.toggle)();
        EXPECT_TRUE((layouts.*k.enlarged)());
        EXPECT_GT(k.list->width(), normalWidth);
        expectControlsFit();
        EXPECT_FALSE(shown(c.cmdAdd) || shown(c.cmdRemove) || shown(c.drvFiles));
        ASSERT_TRUE(shown(c.cmdFilesCopyAll));
        if (k.caption.isEmpty()) {
            // At the top right, above the playlist's path box.
            EXPECT_TRUE(shown(c.txtFiles) && shown(c.cmdFilesCopy) && shown(c.lblFiles));
            EXPECT_LT(c.cmdFilesCopyAll->geometry().bottom(), c.txtFiles->y());
            EXPECT_GT(c.cmdFilesCopyAll->x(), c.Line2->x());
            EXPECT_LT(c.Line2->geometry().bottom(), c.lstFiles->y());
        } else {
            // In the left column, under the browser's path box.
            EXPECT_EQ(c.lblDirectorys->text(), k.caption);
            EXPECT_TRUE(shown(c.lblDirectorys));
            EXPECT_GT(c.cmdFilesCopyAll->y(), c.txtDirectorys->geometry().bottom());
            EXPECT_LT(c.cmdFilesCopyAll->geometry().right(), c.Line2->x());
        }

        (layouts.*k.toggle)();
        EXPECT_FALSE((layouts.*k.enlarged)());
        EXPECT_TRUE(shown(c.cmdAdd) && c.cmdAdd->isEnabled() && shown(c.cmdRemove));
        c.cmdAdd->hide();
        EXPECT_EQ(looks(), before);
    }
}

TEST(WindowControls, TimersThatCarryTimingArePrecise)
{
    QWidget window;
    const WindowControls c = createWindowControls(&window);
    for (QTimer *t : {c.tmrStopMusic, c.tmrGetFile, c.tmrClient}) {
        EXPECT_EQ(t->timerType(), Qt::PreciseTimer) << t->interval();
        EXPECT_FALSE(t->isActive());
    }
    EXPECT_EQ(c.tmrGetFile->interval(), 5);
}

TEST(PercentBar, ShowsOutOfRangeValuesAsEmpty)
{
    PercentBar bar;
    bar.setPercent(100);
    EXPECT_DOUBLE_EQ(bar.percent(), 100.0);
    bar.setPercent(37.5);
    EXPECT_DOUBLE_EQ(bar.percent(), 37.5);
    for (double outside : {0.0, -3.0, 100.5, 1e9}) {
        bar.setPercent(outside);
        EXPECT_DOUBLE_EQ(bar.percent(), PercentBar::emptyValue) << outside;
    }
}
