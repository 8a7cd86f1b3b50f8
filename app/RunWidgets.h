#pragma once

#include "app/WindowControls.h"
#include "playback/PlayListTicks.h"
#include "playback/ServerRunView.h"

class PlaylistEditor;
class WindowLayouts;

// The window's controls as a run works them: the start/stop button, the playlist and its
// layouts, the play list with its ticks, the progress bar and the play and speed buttons.
class RunWidgets final : public ServerRunView, public PlayListTicks {
public:
    RunWidgets(const WindowControls &controls, WindowLayouts &layouts, const PlaylistEditor &playlist);

    QString serverCaption() const override;
    void setServerCaption(const QString &caption) override;
    QStringList playlistTexts() const override;
    QString fullPathOf(const QString &entryText) const override;
    bool isPlaylistEnlarged() const override;
    void enlargePlaylist() override;
    void togglePlaylist() override;
    void showPlayList(const QStringList &entryTexts) override;
    void setProgress(double percent) override;
    void showFilePath(const QString &fullPath) override;
    void showPlayButtons() override;
    void restoreEditing() override;

    int count() const override;
    bool isTicked(int row) const override;
    void setTicked(int row, bool ticked) override;
    void setCurrent(int row) override;

private:
    WindowControls c;
    WindowLayouts &m_layouts;
    const PlaylistEditor &m_playlist;
};
