#pragma once

class Dialogs;
class PlaylistEditor;

// Saving the playlist to a "*.tunvero" file and loading it back, with the questions and
// messages that go with it.
class PlaylistStorage {
public:
    PlaylistStorage(Dialogs &dialogs, PlaylistEditor &playlist);

    void cmdSavePlaylist_Click();
    void cmdLoadPlaylist_Click();

private:
    Dialogs &m_dialogs;
    PlaylistEditor &m_playlist;
};
