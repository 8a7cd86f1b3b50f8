#pragma once

#include "transfer/IncomingSong.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class ClientRole;
class ModMultimedia;
class QTimer;

// The client's side of the file transfer: learns the run's songs, opens those already in the
// download folder, fetches the missing ones one chunk per request, stores each whole song
// under the download tree and opens it as device "ClientTunveroID" plus its slot.
class ClientTransfer : public QObject {
    Q_OBJECT
public:
    // `tmrGetFile` is the window's request timer; `downloadFolder` gives the folder in use.
    ClientTransfer(ClientRole &role, ModMultimedia &media, QTimer *tmrGetFile, std::function<QString()> downloadFolder,
                   QObject *parent = nullptr);

    // The song list of "SetMusic" (its data), once every device has been closed: starts the
    // check from slot 0.
    void startSongList(const QByteArray &data);

    // The song paths of the run, exactly as they arrived.
    const QList<QByteArray> &songs() const { return Songs; }
    int currentSong() const { return CurrentSong; }
    bool isFetching() const { return m_state == State::Fetching; }

    // The wait of `tmrGetFile` between a chunk and the request for the next.
    static constexpr int requestDelayMs = 5;
    // How many times a song is asked for before a wrong-sized copy gives it up.
    static constexpr int maxAttempts = 2;

Q_SIGNALS:
    // The progress bar's value by the shown-value rule.
    void progress(double percent);
    // A fetched song is stored under its name.
    void songStored(int slot);
    // A song could not be stored as `file` for `reason` (the system's, such as no space
    // left); it is given up next.
    void songNotStored(int slot, const QString &file, const QString &reason);
    // A song was given up for this run.
    void songGivenUp(int slot);
    // "AllFilesLoaded" has gone out.
    void allFilesLoaded();

private:
    enum class State { Idle, Asking, Fetching, Draining };

    void checkFrom(int k);
    void LoadedAllFilesDone();
    void sendSetFile();
    void giveUp();
    void abandon();
    void setFileDone(const QByteArray &data);
    void tmrGetFile_Timer();
    void fileData(const QByteArray &piece);
    void doGetFile();
    void putFileReady(const QByteArray &data);
    void skipFile();
    void reStartPutFile();
    void skipFiles();
    void openSong(int slot, const QString &file);
    void showProgress(double percent);

    ClientRole &m_role;
    ModMultimedia &m_media;
    QTimer *m_tmrGetFile;
    std::function<QString()> m_downloadFolder;

    QList<QByteArray> Songs;
    int CurrentSong = 0;
    qint64 ExpectedFileSize = 0;
    State m_state = State::Idle;
    int m_attempts = 0;
    QString m_localFile;
    QString m_notStoredReason; // of the song being given up, when it could not be stored
    IncomingSong m_song;
    double m_shown = -1;
};
