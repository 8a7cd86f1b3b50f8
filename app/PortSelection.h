#pragma once

#include "app/WindowControls.h"
#include "core/SessionState.h"

#include <QObject>

class ClientRole;
class Dialogs;
class SessionState;

// The port box `cmbPort` and its button `cmdPort`: which keys the box takes, and the rules
// and questions for changing `Port`.
class PortSelection : public QObject {
    Q_OBJECT
public:
    static constexpr int firstPort = SessionState::defaultPort;
    static constexpr int listLength = 21;

    PortSelection(const WindowControls &controls, Dialogs &dialogs, ClientRole &client, SessionState &session,
                  QObject *parent);

    // The 21 numbers from the default port upward, and the box showing the first.
    void fillPortList();

    // Sees every typed character; setting `KeyAscii` to 0 discards it.
    void cmbPort_KeyPress(int &KeyAscii);
    void cmdPort_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void putPortBack();

    WindowControls c;
    Dialogs &m_dialogs;
    ClientRole &m_client;
    SessionState &m_session;
};
