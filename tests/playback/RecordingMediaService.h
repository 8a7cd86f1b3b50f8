#pragma once

#include "playback/MediaCommandService.h"

#include <QList>
#include <QStringList>

// A stand-in media service that records every command text and answers from a script.
class RecordingMediaService : public MediaCommandService
{
public:
    struct Reply
    {
        int code = 0;
        QString answer;
    };

    // Replies are used in order; once they run out, every command succeeds with no answer.
    void then(int code, const QString &answer = QString()) { m_replies.append({code, answer}); }

    int sendString(const QString &command, QString *answer) override
    {
        m_commands.append(command);
        m_askedForAnswer.append(answer != nullptr);
        const Reply reply = m_replies.isEmpty() ? Reply() : m_replies.takeFirst();
        if (answer)
            *answer = reply.answer;
        return reply.code;
    }

    QString errorString(int code) const override { return QStringLiteral("Fel %1").arg(code); }

    const QStringList &commands() const { return m_commands; }
    const QList<bool> &askedForAnswer() const { return m_askedForAnswer; }

private:
    QList<Reply> m_replies;
    QStringList m_commands;
    QList<bool> m_askedForAnswer;
};
