#include "playback/ServerRun.h"

#include "core/AppInfo.h"
#include "core/SessionState.h"
#include "platform/Dialogs.h"
#include "platform/EightBitText.h"
#include "playback/PlayQueue.h"
#include "playback/ServerRunView.h"

namespace {

const QString startCaption = QStringLiteral("Starta");
const QString stopCaption = QStringLiteral("Stoppa");
constexpr double emptyProgress = 0.0001;

} // namespace

ServerRun::ServerRun(ServerRunView &view, PlayQueue &queue, Dialogs &dialogs, SessionState &session, Hooks hooks,
                     QObject *parent)
    : QObject(parent), m_view(view), m_queue(queue), m_dialogs(dialogs), m_session(session), m_hooks(std::move(hooks))
{
}

void ServerRun::cmdServer_Click()
{
    if (m_preparing && !m_session.stopWithoutAsking())
        return;
    if (m_view.serverCaption() == startCaption && !m_session.stopWithoutAsking())
        start();
    else
        stop();
}

void ServerRun::start()
{
    QStringList texts = m_view.playlistTexts();
    if (texts.isEmpty()) {
        m_dialogs.tell(QStringLiteral("Du har inga låtar i playlisten!"), QStringLiteral("Inga låtar?"),
                       DialogIcon::Information);
        return;
    }
    if (m_hooks.lastClientIndex() < 1) {
        m_dialogs.tell(QStringLiteral("Det finns inga klienter anslutna!"), QStringLiteral("Hmpf..."),
                       DialogIcon::Information);
        return;
    }
    if (texts.size() > maxSongs) {
        m_dialogs.tell(QStringLiteral("Spellistan har %1 låtar, men en uppspelning rymmer högst %2.\n"
                                      "De första %2 låtarna spelas, resten tas inte med.")
                           .arg(texts.size())
                           .arg(maxSongs),
                       applicationTitle(), DialogIcon::Information);
        texts = texts.mid(0, maxSongs);
    }
    // The song list is one path a line: a line break in a name would shift every later slot,
    // and clients would store one song's bytes under another's name.
    for (const QString &text : std::as_const(texts)) {
        const QString fullPath = m_view.fullPathOf(text);
        if (fullPath.contains(QLatin1Char('\n')) || fullPath.contains(QLatin1Char('\r'))) {
            m_dialogs.tell(QStringLiteral("Namnet på låten\n%1\nhar en radbrytning och kan inte skickas till "
                                          "klienterna.\nByt namn på filen och starta igen.")
                               .arg(fullPath),
                           applicationTitle(), DialogIcon::Information);
            return;
        }
    }
    if (!m_dialogs.askYesNo(QStringLiteral("Vill du verkligen starta nu?\n"
                                           "De datorer som ännu inte anslutit kan inte ansluta längre..."),
                            QStringLiteral("Starta nu?"))) {
        m_session.setAcceptNewClients(true);
        return;
    }
    m_session.setAcceptNewClients(false);
    m_view.setServerCaption(stopCaption);
    m_session.setRunActive(true);

    ReturnToNormalLayout = !m_view.isPlaylistEnlarged();
    m_view.enlargePlaylist();
    m_fullPaths.clear();
    for (const QString &text : texts)
        m_fullPaths.append(m_view.fullPathOf(text));
    m_queue.setSongs(m_fullPaths);
    m_view.showPlayList(texts);
    m_view.setProgress(emptyProgress);

    m_preparing = true;
    m_hooks.prepare(m_fullPaths);
}

void ServerRun::preparationProgress(double percent)
{
    if (m_preparing)
        m_view.setProgress(percent);
}

void ServerRun::preparationDone()
{
    if (!m_preparing)
        return;
    m_preparing = false;
    m_view.setProgress(emptyProgress);
    m_view.showFilePath(m_fullPaths.value(0));
    m_queue.setPlayingNumber(-1);
    m_view.showPlayButtons();
    m_hooks.resetSpeed();

    QByteArray songList;
    for (const QString &path : std::as_const(m_fullPaths)) {
        if (!songList.isEmpty())
            songList += "\r\n";
        songList += EightBitText::encode(path);
    }
    m_hooks.sendAll(QByteArrayLiteral("SetMusic"), songList);
}

void ServerRun::stop()
{
    if (!m_session.stopWithoutAsking() &&
        !m_dialogs.askYesNo(
            QStringLiteral("Vill du verkligen stänga av uppspelningen? Alla klienter kommer att stoppas"),
            QStringLiteral("Stoppa?")))
        return;
    // A forced stop may come while the start still prepares: the start is given up.
    m_preparing = false;
    m_view.setServerCaption(startCaption);
    m_queue.stop();
    m_view.restoreEditing();
    if (ReturnToNormalLayout) {
        m_view.togglePlaylist();
        // Used once: a later forced stop must not enlarge the playlist again.
        ReturnToNormalLayout = false;
    }
    m_session.setRunActive(false);
    m_hooks.clearPrepared();
    m_hooks.sendAll(QByteArrayLiteral("StopAllMusic"), QByteArray());
    // Newcomers may join the next run.
    m_session.setAcceptNewClients(true);
}
