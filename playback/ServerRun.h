#pragma once

#include <QByteArray>
#include <QObject>
#include <QStringList>

#include <functional>

class Dialogs;
class PlayQueue;
class ServerRunView;
class SessionState;

// The start and stop of a playback run on the server: the refusals and questions, the frozen
// play list, the preparation of the songs for transfer, "SetMusic" to every client, and at
// the stop the editing window back and "StopAllMusic".
class ServerRun : public QObject {
    Q_OBJECT
public:
    // A run holds song slots 0 to 200.
    static constexpr int maxSongs = 201;

    struct Hooks {
        // The highest connection index handed out since the server role was switched on.
        std::function<int()> lastClientIndex;
        // To every ready client.
        std::function<void(const QByteArray &command, const QByteArray &data)> sendAll;
        // Reads the songs for transfer; reports back through `preparationProgress` and
        // `preparationDone`.
        std::function<void(const QStringList &fullPaths)> prepare;
        // Lets go of the prepared songs (the stop, or a start given up).
        std::function<void()> clearPrepared;
        // The transfer back to its low speed.
        std::function<void()> resetSpeed;
    };

    ServerRun(ServerRunView &view, PlayQueue &queue, Dialogs &dialogs, SessionState &session, Hooks hooks,
              QObject *parent = nullptr);

    // The start/stop button: starts a run when its caption reads "Starta" and no forced stop
    // is asked for, stops otherwise. Inert while the start prepares songs, unless the stop is
    // forced.
    void cmdServer_Click();

    void preparationProgress(double percent);
    void preparationDone();

    bool preparing() const { return m_preparing; }
    bool returnToNormalLayout() const { return ReturnToNormalLayout; }

private:
    void start();
    void stop();

    ServerRunView &m_view;
    PlayQueue &m_queue;
    Dialogs &m_dialogs;
    SessionState &m_session;
    Hooks m_hooks;

    bool ReturnToNormalLayout = false;
    bool m_preparing = false;
    QStringList m_fullPaths;
};
