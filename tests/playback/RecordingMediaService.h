#pragma once

#include "playback/MediaCommandService.h"

#include <QHash>
#include <QStringList>

// A stand-in media service that records every command text and answers from a script.
class RecordingMediaService : public MediaCommandService {
public:
    // The reply to a command (trailing blanks aside); any other command succeeds with no answer.
    void reply(const QString &command, int code, const QString &answer = QString())
    {
        m_replies.insert(command, {code, answer});
    }

    int sendString(const QString &command, QString *answer) override
    {
        m_commands.append(command);
        const auto [code, text] = m_replies.value(command.trimmed());
        if (answer)
            *answer = text;
        return code;
    }

    QString errorString(int code) const override { return QStringLiteral("Fel %1").arg(code); }

    const QStringList &commands() const { return m_commands; }

private:
    QHash<QString, std::pair<int, QString>> m_replies;
    QStringList m_commands;
};
