#pragma once

#include <QObject>

// The state the roles, the port selection, the transfer and the run share: whether this
// copy is a server, which port it uses, whether newcomers are let in, and whether a run is
// active. One owner, so every subsystem sees the same values and hears of each change.
class SessionState : public QObject {
    Q_OBJECT
public:
    static constexpr int defaultPort = 49931;

    explicit SessionState(QObject *parent = nullptr) : QObject(parent) {}

    bool isServer() const { return m_isServer; }
    void setServer(bool on);

    // Set while a caller switches the server off on the user's behalf: the switch then asks
    // nothing. Use `StopWithoutAskingScope` so it is always cleared again.
    bool stopWithoutAsking() const { return m_stopWithoutAsking; }
    void setStopWithoutAsking(bool on) { m_stopWithoutAsking = on; }

    int port() const { return m_port; }
    void setPort(int port);

    // Connection requests are accepted only while this is true.
    bool acceptNewClients() const { return m_acceptNewClients; }
    void setAcceptNewClients(bool accept);

    // Between the start of a run ("Starta" confirmed) and its stop.
    bool runActive() const { return m_runActive; }
    void setRunActive(bool active);

Q_SIGNALS:
    void serverChanged(bool isServer);
    void portChanged(int port);
    void acceptNewClientsChanged(bool accept);
    void runActiveChanged(bool active);

private:
    bool m_isServer = false;
    bool m_stopWithoutAsking = false;
    int m_port = defaultPort;
    bool m_acceptNewClients = false;
    bool m_runActive = false;
};

// Sets `stopWithoutAsking` for its lifetime.
class StopWithoutAskingScope {
public:
    explicit StopWithoutAskingScope(SessionState &session) : m_session(session)
    {
        m_session.setStopWithoutAsking(true);
    }
    ~StopWithoutAskingScope() { m_session.setStopWithoutAsking(false); }
    StopWithoutAskingScope(const StopWithoutAskingScope &) = delete;
    StopWithoutAskingScope &operator=(const StopWithoutAskingScope &) = delete;

private:
    SessionState &m_session;
};
