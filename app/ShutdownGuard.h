#pragma once

class Dialogs;
class QCheckBox;

// Decides whether the program may end: it guards an unsaved playlist and switches the
// active role off, which the user may refuse.
class ShutdownGuard {
public:
    struct State {
        bool playlistHasEntries = false;
        bool playlistChanged = false;
        bool isServer = false;
    };

    ShutdownGuard(Dialogs &dialogs, QCheckBox *chkServer, QCheckBox *chkClient);

    // Clearing a role box runs that role's switch-off at once, which may tick it again.
    bool mayClose(const State &state);

private:
    Dialogs &m_dialogs;
    QCheckBox *m_chkServer;
    QCheckBox *m_chkClient;
};
