#include "app/PercentBar.h"
#include "app/Twips.h"
#include "app/WindowControls.h"
#include "app/WindowLayouts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

#include <array>
#include <memory>

namespace {

std::array<int, 4> geometryOf(const QWidget *w)
{
    return {twips::left(w), twips::top(w), twips::width(w), twips::height(w)};
}

class WindowLayoutsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        c = createWindowControls(window.get());
        layouts = std::make_unique<WindowLayouts>(c);
        layouts->applyServerRole(true);
        window->show();
    }

    bool shown(const QWidget *w) const { return w->isVisibleTo(window.get()); }

    std::unique_ptr<QWidget> window;
    WindowControls c;
    std::unique_ptr<WindowLayouts> layouts;
};

} // namespace

TEST(WindowControls, StartWithTheirDesignStateAndFitTheWindow)
{
    QWidget window;
    const WindowControls c = createWindowControls(&window);
    WindowLayouts(c).applyServerRole(false);
    // With the server role off the file list's click reaction hides these two.
    c.cmdAdd->hide();
    c.cmdRemove->hide();

    // Twips become pixels at 15 to one.
    EXPECT_EQ(geometryOf(c.chkServer), (std::array{120, 120, 2295, 255}));
    EXPECT_EQ(geometryOf(c.cmdRemove), (std::array{8400, 5880, 1095, 300}));
    // Every control of the small window lies inside it; every other one inside the full one.
    const QRect small(QPoint(0, 0), window.size());
    const QRect full(0, 0, 641, 426);
    for (QWidget *w : window.findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        const QRect area = w->isVisibleTo(&window) ? small : full;
        EXPECT_TRUE(area.contains(w->geometry())) << w->metaObject()->className() << " " << w->x() << "," << w->y();
    }

    EXPECT_EQ(c.cmbPort->currentText(), QStringLiteral("49931"));
    EXPECT_EQ(c.cmdSpeed->text(), QStringLiteral("Hastighet: Låg"));
    EXPECT_EQ(c.lblPlaying->toolTip(), QStringLiteral("Ingen låt spelas just nu..."));
    for (QWidget *w : std::vector<QWidget *>{c.cmdServer, c.cmdClient, c.cmdAdd, c.cmdRemove})
        EXPECT_FALSE(w->isEnabled());
    EXPECT_DOUBLE_EQ(c.prgFile->percent(), PercentBar::emptyValue);

    EXPECT_EQ(c.tmrStopMusic->interval(), 500);
    EXPECT_EQ(c.tmrGetFile->interval(), 5);
    EXPECT_EQ(c.tmrDoEvents->interval(), 100);
    for (QTimer *t : {c.tmrStopMusic, c.tmrGetFile, c.tmrClient})
        EXPECT_FALSE(t->isActive());
}

TEST(PercentBar, ShowsOutOfRangeValuesAsEmpty)
{
    PercentBar bar;
    bar.setPercent(100);
    EXPECT_DOUBLE_EQ(bar.percent(), 100.0);
    bar.setPercent(37.5);
    EXPECT_DOUBLE_EQ(bar.percent(), 37.5);
    for (double outside : {0.0, -3.0, 100.5, 1e9})
    {
        bar.setPercent(outside);
        EXPECT_DOUBLE_EQ(bar.percent(), PercentBar::emptyValue) << outside;
    }
}

TEST_F(WindowLayoutsTest, ServerRoleSwitchesBetweenTheSmallAndTheFullWindow)
{
    EXPECT_EQ(window->size(), QSize(641, 426));
    EXPECT_TRUE(shown(c.lstFiles));
    EXPECT_TRUE(shown(c.dirFiles));
    EXPECT_TRUE(shown(c.txtDirectorys));
    EXPECT_EQ(layouts->line2End(), 6360);

    layouts->enlargePlaylist();
    layouts->toggleFileList();
    layouts->applyServerRole(false);
    EXPECT_EQ(window->size(), QSize(272, 98));
    for (QWidget *w : std::vector<QWidget *>{c.lstFiles, c.dirFiles,
                       c.filFiles, c.drvFiles,
                       c.txtDirectorys, c.cmdDirectorysCopy,
                       c.txtFiles, c.lblFiles,
                       c.cmdFilesCopyAll, c.lblDirectorys,
                       c.cmdSavePlaylist, c.cmdLoadPlaylist})
        EXPECT_FALSE(shown(w)) << w->metaObject()->className();
    // Switching off undoes every enlargement.
    EXPECT_EQ(twips::width(c.lstFiles), 3855);
    EXPECT_EQ(geometryOf(c.filFiles), (std::array{6600, 120, 2895, 5745}));
    EXPECT_EQ(layouts->line2End(), 1455);
}

TEST_F(WindowLayoutsTest, TwoPlaylistTogglesRestoreEverything)
{
    layouts->togglePlaylist();
    EXPECT_TRUE(layouts->isPlaylistEnlarged());
    EXPECT_FALSE(shown(c.dirFiles));
    EXPECT_FALSE(shown(c.cmdAdd));
    EXPECT_TRUE(shown(c.txtFiles));
    EXPECT_TRUE(shown(c.cmdFilesCopy));
    EXPECT_EQ(layouts->line2End(), 1455);
    EXPECT_EQ(geometryOf(c.cmdFilesCopyAll), (std::array{4200, 120, 5295, 255}));

    layouts->togglePlaylist();
    EXPECT_FALSE(layouts->isPlaylistEnlarged());
    EXPECT_EQ(twips::width(c.lstFiles), 3855);
    EXPECT_EQ(layouts->line2End(), 6360);
    for (QWidget *w : std::vector<QWidget *>{c.drvFiles, c.filFiles,
                       c.dirFiles, c.cmdAdd,
                       c.cmdRemove})
        EXPECT_TRUE(shown(w));
    for (QWidget *w : std::vector<QWidget *>{c.cmdFilesCopyAll, c.txtFilesCopy,
                       c.cmdFilesCopy, c.txtFiles,
                       c.lblFiles})
        EXPECT_FALSE(shown(w));
}

TEST_F(WindowLayoutsTest, FolderListEnlargesWithItsCopyAllButtonUnderThePathBox)
{
    layouts->togglePlaylist();
    layouts->togglePlaylist();

    layouts->toggleFolderList();
    EXPECT_TRUE(layouts->isFolderListEnlarged());
    EXPECT_EQ(geometryOf(c.dirFiles), (std::array{4200, 120, 5280, 6165}));
    EXPECT_EQ(c.lblDirectorys->text(), QStringLiteral("Fullständig sökväg till katalogen:"));
    EXPECT_TRUE(shown(c.lblDirectorys));
    EXPECT_FALSE(shown(c.lstFiles));
    EXPECT_EQ(geometryOf(c.cmdFilesCopyAll), (std::array{120, 2400, 3855, 255}));

    layouts->toggleFolderList();
    EXPECT_FALSE(layouts->isFolderListEnlarged());
    EXPECT_EQ(geometryOf(c.dirFiles), (std::array{4200, 120, 2295, 5715}));
    EXPECT_FALSE(shown(c.lblDirectorys));
    EXPECT_FALSE(shown(c.cmdFilesCopyAll));
    EXPECT_TRUE(shown(c.lstFiles));
    // The label keeps the last enlarged layout's caption.
    EXPECT_EQ(c.lblDirectorys->text(), QStringLiteral("Fullständig sökväg till katalogen:"));
}

TEST_F(WindowLayoutsTest, FileListEnlargesToTheLeftAndBack)
{
    c.cmdAdd->setEnabled(true);
    layouts->toggleFileList();
    EXPECT_EQ(geometryOf(c.filFiles), (std::array{4200, 120, 5280, 6165}));
    EXPECT_EQ(c.lblDirectorys->text(), QStringLiteral("Fullständig sökväg till filen:"));
    EXPECT_FALSE(shown(c.dirFiles));
    EXPECT_FALSE(shown(c.cmdAdd));

    layouts->toggleFileList();
    EXPECT_EQ(geometryOf(c.filFiles), (std::array{6600, 120, 2895, 5745}));
    EXPECT_TRUE(shown(c.cmdAdd));
    EXPECT_TRUE(c.cmdAdd->isEnabled());
    EXPECT_TRUE(shown(c.dirFiles));
}
