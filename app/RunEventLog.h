#pragma once

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QThreadPool>
#include <QTimer>

#include <functional>

class ClientRole;
class ClientTransfer;
class EventLog;
class MediaService;
class RunAttendance;
class RunWiring;
class ServerRole;

// Writes a copy's run to the event log: each message from the server as it arrives, the
// moments "PlayMusic" and "StopAllMusic" have been handled, when a device's first samples
// reach the sound output, and once a second the worst lateness of a 1 ms timer, which shows
// how long the event loop was kept busy.
class RunEventLog : public QObject {
    Q_OBJECT
public:
    // Made before the run's own reactions are connected, so "message" comes before the
    // reaction runs.
    RunEventLog(EventLog &log, ClientRole &client, ServerRole &server, QObject *parent = nullptr);

    // Connected after the run's reactions: these events mark their end. A stored song is
    // logged with its size and SHA-256, read back from the download tree off the event loop.
    void watchRun(ClientRole &client, MediaService &media, ClientTransfer &transfer,
                  std::function<QString()> downloadFolder);

    // Who joins and leaves the server's run, and who holds every song, with the counts after each.
    void watchHouse(const RunAttendance &attendance);

private:
    void message(const char *word, const QByteArray &data = {}, const QJsonObject &more = {});
    void songStored(int slot, const QString &file);
    void stallTick();
    void reportStall();

    EventLog &m_log;
    QTimer m_tick;
    QTimer m_report;
    QElapsedTimer m_clock;
    qint64 m_lastTickNs = -1;
    qint64 m_worstNs = 0;
    qint64 m_lastArrivalNs = 0; // of the last "PlayMusic"
    bool m_toldNoSound = false;
    // Last, so it is destroyed first: its destructor waits for every hash under way.
    QThreadPool m_hashers;
};
