#pragma once

#include "app/WindowControls.h"

#include <QObject>
#include <QString>

#include <functional>

class ClientRole;
class Dialogs;
class SessionState;
class Settings;

// The client box `chkClient` and the connect button `cmdClient`: the questions, the prompt
// for the server's name, and the reactions to the connection opening, closing and failing.
class ClientRoleSwitch : public QObject {
    Q_OBJECT
public:
    ClientRoleSwitch(const WindowControls &controls, Dialogs &dialogs, ClientRole &client, Settings &settings,
                     const SessionState &session, QObject *parent);

    // Run after a connection error's message; the file reception resets its expected size.
    void setAfterConnectionError(std::function<void()> hook) { m_afterConnectionError = std::move(hook); }

    // With nobody at the screen: a connection that ends or fails goes to `lost` instead of a
    // new question for the server and a message. `number` is 0 when the server closed it in
    // order, else the error's number.
    void setConnectionLost(std::function<void(int number, const QString &description)> lost)
    {
        m_connectionLost = std::move(lost);
    }
    // Connects again to the server last asked for, as "Anslut" answered with its name would.
    // Nothing when the box is clear or a connection is open or under way.
    void connectAgain();

    // Runs on every change of the box, the program's own changes included.
    void chkClient_Click();
    void SetClient();
    void cmdClient_Click();

    void sckClient_Connect();
    void sckClient_Close();
    void sckClient_Error(int number, const QString &description);

private:
    void resetPlayingTip();

    WindowControls c;
    Dialogs &m_dialogs;
    ClientRole &m_client;
    Settings &m_settings;
    const SessionState &m_session;
    std::function<void()> m_afterConnectionError;
    std::function<void(int, const QString &)> m_connectionLost;
    QString m_host; // the last answer to the question for the server
};
