#pragma once

#include <QFile>
#include <QJsonObject>
#include <QString>

// A record of what happened when, for the harness that runs many copies: one JSON object a
// line, each with "t_ns" (CLOCK_MONOTONIC in nanoseconds, comparable across the processes of
// one machine) and "event". Each line is written and flushed at once, so a copy that is
// killed leaves every line it logged.
class EventLog {
public:
    // Nanoseconds on CLOCK_MONOTONIC.
    static qint64 nowNs();

    // Opens (truncates) `path`. False when it cannot be written.
    bool open(const QString &path);
    bool isOpen() const { return m_file.isOpen(); }
    QString errorString() const { return m_file.errorString(); }

    // Writes {"t_ns": now, "event": name, ...fields}. Does nothing when not open.
    void write(const QString &event, const QJsonObject &fields = {});
    // The same with a moment taken earlier.
    void writeAt(qint64 tNs, const QString &event, const QJsonObject &fields = {});

private:
    QFile m_file;
};
