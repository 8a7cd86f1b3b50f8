#include "app/ClientNotices.h"

#include "platform/Dialogs.h"
#include "playback/ClientPlayback.h"
#include "playback/MediaService.h"
#include "transfer/ClientTransfer.h"

#include <QDir>
#include <QFileInfo>

ClientNotices::ClientNotices(Dialogs &dialogs, MediaService &media, ClientTransfer &transfer, QObject *parent)
    : QObject(parent), m_dialogs(dialogs)
{
    // Told after the open that found it has finished.
    connect(&media, &MediaService::noSoundOutput, this, &ClientNotices::noSoundOutput, Qt::QueuedConnection);
    connect(&transfer, &ClientTransfer::songNotStored, this,
            [this](int, const QString &file, const QString &reason) { songNotStored(file, reason); });
}

void ClientNotices::noSoundOutput(const QString &alias)
{
    // The server's measuring device makes no sound in any case; only a client's songs matter.
    const QString clientPrefix = ClientPlayback::deviceAlias(0).chopped(1);
    if (m_toldNoSound || !alias.startsWith(clientPrefix, Qt::CaseInsensitive))
        return;
    m_toldNoSound = true;
    m_dialogs.notice(QStringLiteral("Ingen ljudutgång hittades, så den här datorn spelar låtarna utan ljud.\n\n"
                                    "Anslut högtalare eller starta ljudservern (PulseAudio eller PipeWire) "
                                    "och starta sedan om Tunvero."),
                     QStringLiteral("Inget ljud"), DialogIcon::Information);
}

void ClientNotices::songNotStored(const QString &file, const QString &reason)
{
    const QFileInfo info(file);
    m_dialogs.notice(QStringLiteral("Låten %1 kunde inte sparas i %2 (%3), så den spelas inte på den här datorn.\n\n"
                                    "Gör plats i mappen, så hämtas låten nästa gång servern startar uppspelningen.")
                         .arg(info.fileName(), QDir::toNativeSeparators(info.path()), reason),
                     QStringLiteral("Låten kunde inte sparas"), DialogIcon::Information);
}
