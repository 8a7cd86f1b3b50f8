#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class ClientRole;
class ClientRoleSwitch;

// Keeps a client that runs with nobody at the screen with its server: a connection that ends
// or fails is tried again after a pause that starts at 1 s and doubles up to 30 s, until the
// program ends. One line tells when the server is lost and one when it is back, not one per
// try.
class ClientRedial : public QObject {
    Q_OBJECT
public:
    using Print = std::function<void(const QString &line)>;

    // `server` names the server in what is printed.
    ClientRedial(ClientRoleSwitch &clientSwitch, ClientRole &client, QString server, Print print,
                 QObject *parent = nullptr);
    ~ClientRedial() override;

    // The program is ending: no more tries.
    void stop();

    static constexpr int firstPauseMs = 1000;
    static constexpr int longestPauseMs = 30000;
    // Only a connection that holds this long counts as the server back: a server in the middle
    // of a run takes no newcomers and drops them at once, and is not to be asked every second
    // for as long as its run lasts.
    static constexpr int heldMs = 3000;

private:
    void lost(int number, const QString &description);
    void held();

    ClientRoleSwitch &m_switch;
    ClientRole &m_client;
    QString m_server;
    Print m_print;
    QTimer m_retry;
    QTimer m_held;
    int m_pauseMs = firstPauseMs;
    bool m_withServer = false; // a connection has held since the last loss
    bool m_toldLost = false;
    bool m_stopped = false;
};
