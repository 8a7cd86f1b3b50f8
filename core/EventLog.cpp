#include "core/EventLog.h"

#include <QJsonDocument>

#include <ctime>

qint64 EventLog::nowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

bool EventLog::open(const QString &path)
{
    m_file.setFileName(path);
    return m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
}

void EventLog::write(const QString &event, const QJsonObject &fields)
{
    writeAt(nowNs(), event, fields);
}

void EventLog::writeAt(qint64 tNs, const QString &event, const QJsonObject &fields)
{
    if (!m_file.isOpen())
        return;
    QJsonObject line = fields;
    // Qt keeps JSON numbers as doubles, exact only up to 2^53 ns (104 days of uptime), so the
    // timestamp is written as text of its own.
    line.remove(QStringLiteral("t_ns"));
    line.insert(QStringLiteral("event"), event);
    QByteArray text = QJsonDocument(line).toJson(QJsonDocument::Compact);
    // {"t_ns":N, then the rest of the object.
    QByteArray out = "{\"t_ns\":" + QByteArray::number(tNs);
    if (text.size() > 2)
        out += ',' + text.mid(1);
    else
        out += '}';
    out += '\n';
    m_file.write(out);
}
