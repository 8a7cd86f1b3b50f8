#pragma once

#include <QObject>
#include <QString>

class ClientTransfer;
class Dialogs;
class MediaService;

// Tells the user of a client what keeps this computer from sounding: that no sound output
// was found (once per program run) and each song that could not be stored. Notices hold
// nothing up, so a run goes on while they are shown.
class ClientNotices : public QObject {
    Q_OBJECT
public:
    ClientNotices(Dialogs &dialogs, MediaService &media, ClientTransfer &transfer, QObject *parent = nullptr);

private:
    void noSoundOutput(const QString &alias);
    void songNotStored(const QString &file, const QString &reason);

    Dialogs &m_dialogs;
    bool m_toldNoSound = false;
};
