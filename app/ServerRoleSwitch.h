#pragma once

#include "app/WindowControls.h"

#include <QObject>

#include <functional>

class Dialogs;
class SessionState;
class ServerRole;

// The server box `chkServer`: its questions, and switching the server role on and off with
// the window state that goes with it.
class ServerRoleSwitch : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        // The start/stop button's click; run with `StopWithoutAsking` set, it stops playback.
        std::function<void()> cmdServer_Click;
        // The window state of the role, followed by the file list's click reaction.
        std::function<void(bool on)> applyWindowState;
    };

    ServerRoleSwitch(const WindowControls &controls, Dialogs &dialogs, ServerRole &server, SessionState &session,
                     Hooks hooks, QObject *parent);

    // Runs on every change of the box, the program's own changes included, so setting the
    // box from here runs it again, nested.
    void chkServer_Click();
    void SetServer();

private:
    void switchOff();
    void switchOn();

    WindowControls c;
    Dialogs &m_dialogs;
    ServerRole &m_server;
    SessionState &m_session;
    Hooks m_hooks;
    bool RestoringServerTick = false;
};
