#include "app/WindowControls.h"

#include "app/PercentBar.h"
#include "app/Twips.h"
#include "app/WindowGeometry.h"
#include "app/WrappingButton.h"
#include "core/SessionState.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

namespace {

template <typename Control>
Control *place(Control *control, int left, int top, int width, int height, const QString &toolTip = {})
{
    twips::setGeometry(control, left, top, width, height);
    if (!toolTip.isEmpty())
        control->setToolTip(toolTip);
    return control;
}

QPushButton *button(QWidget *window, const QString &caption)
{
    auto *b = new QPushButton(caption, window);
    b->setAutoDefault(false);
    return b;
}

QTimer *timer(QWidget *window, int intervalMs, Qt::TimerType type)
{
    auto *t = new QTimer(window);
    t->setInterval(intervalMs);
    t->setTimerType(type);
    return t;
}

const QString pathToolTip = QStringLiteral("Den fullständiga sökvägen");
const QString copyToolTip = QStringLiteral("Kopierar sökvägen till urklipp");

} // namespace

WindowControls createWindowControls(QWidget *window)
{
    WindowControls c;
    c.window = window;

    // Drawn first so that everything else lies above the decoration and the frame boxes.
    c.Line1 = new QFrame(window);
    c.Line1->setFrameShape(QFrame::HLine);
    c.Line1->setFrameShadow(QFrame::Sunken);
    twips::setGeometry(c.Line1, 0, 1440 - 15, 4080, 30);
    c.Line2 = new QFrame(window);
    c.Line2->setFrameShape(QFrame::VLine);
    c.Line2->setFrameShadow(QFrame::Sunken);
    // Drawn just left of x = 4080, the small window's right edge, so that it stays in sight.
    twips::setGeometry(c.Line2, 4080 - 30, 0, 30, 6360);

    c.chkServer = place(new QCheckBox(QStringLiteral("Denna dator är MP3 server"), window), 120, 120, 2295, 255,
                        QStringLiteral("Bestämmer att den här datorn ska vara server"));
    c.chkClient = place(new QCheckBox(QStringLiteral("Denna dator är MP3 klient"), window), 120, 480, 2175, 255,
                        QStringLiteral("Bestämmer att den här datorn ska vara klient"));
    c.cmbPort =
        place(new QComboBox(window), 120, 840, 2295, 315,
              QStringLiteral("Vilket portnummer som skall användas, alla som ska samarbeta måste använda samma"));
    c.cmbPort->setEditable(true);
    c.cmbPort->setInsertPolicy(QComboBox::NoInsert);
    c.cmbPort->setEditText(QString::number(SessionState::defaultPort));
    c.cmdPort = place(button(window, QStringLiteral("Ändra portnummer")), 2520, 840, 1455, 315,
                      QStringLiteral("Om du klickar här så ändras portnumret till det som står till vänster"));
    c.cmdClient = place(button(window, QStringLiteral("Anslut")), 2520, 480, 1455, 255,
                        QStringLiteral("Ansluter til/kopplar frånl en Tunvero server"));
    c.cmdClient->setEnabled(false);

    c.cmdServer = place(button(window, QStringLiteral("Starta")), 2520, 120, 1455, 255,
                        QStringLiteral("Startar uppspelningen av låtarna i listan"));
    c.cmdServer->setEnabled(false);
    c.cmdStartPlay = place(new WrappingButton(QStringLiteral("Starta uppspelning"), window), 5880, 480, 975, 495);
    c.cmdStartPlay->hide();
    c.cmdSpeed =
        place(new WrappingButton(QStringLiteral("Hastighet: Låg"), window), 6960, 480, 855, 495,
              QStringLiteral("Visar vilkn hastighet du använder, klicka för att byta. OBS! Innan du trycker på "
                             "play, sätt den till låg först ifall du vill att alla klienter ska komma nära "
                             "varandra..."));
    c.cmdSpeed->hide();
    c.lblPlaying = place(new QLabel(QStringLiteral("Spelas nu, håll musen över för att se aktuell låt"), window), 120,
                         1200, windowGeometry::listWidth, 240, QStringLiteral("Ingen låt spelas just nu..."));
    c.lstFilesPlay = place(new QListWidget(window), 840, 2520, 2055, 735);
    c.lstFilesPlay->hide(); // shown in place of the playlist while a run is active
    c.prgFile = place(new PercentBar(window), 0, 0, 4065, 90);

    c.lstFiles =
        place(new QListWidget(window), 120, 1680, windowGeometry::listWidth, 4545,
              QStringLiteral("Dubbelklicka för att ta bort en fil från spel listan, och håll inne musen för att "
                             "flytta positionen samt högerklicka för att förstora/-minska."));
    c.lstFiles->setSelectionMode(QAbstractItemView::SingleSelection);
    c.cmdSavePlaylist = place(button(window, QStringLiteral("Spara spellista...")), 4200, 480, 1575, 255);
    c.cmdLoadPlaylist = place(button(window, QStringLiteral("Ladda spellista...")), 7920, 480, 1560, 255);

    c.dirFiles = place(new QListWidget(window), 4200, 120, 2280, 5715,
                       QStringLiteral("Vilken katalog du ska leta på. Högerklicka för att förstora/-minska."));
    c.drvFiles = place(new QComboBox(window), 4200, 5880, 2295, 315, QStringLiteral("Vilken enhet som du ska leta på"));
    c.filFiles = place(new QListWidget(window), 6600, 120, 2895, 5745,
                       QStringLiteral("Vilka filer som du kan välja. Högerklicka för att förstora/-minska."));
    c.cmdAdd = place(button(window, QStringLiteral("Lägg till")), 6600, 5880, 1095, 315);
    c.cmdAdd->setEnabled(false);
    c.cmdRemove = place(button(window, QStringLiteral("Ta bort")), 8400, 5880, 1095, 300);
    c.cmdRemove->setEnabled(false);

    c.lblDirectorys =
        place(new QLabel(QStringLiteral("Fullständig sökväg:"), window), 120, 1560, windowGeometry::listWidth, 255);
    c.lblDirectorys->hide();
    c.txtDirectorys = place(new QLineEdit(window), 120, 1920, 3015, 285, pathToolTip);
    c.txtDirectorysCopy = place(new QLineEdit(window), 3150, 1920, 825, 285);
    c.txtDirectorysCopy->setReadOnly(true);
    c.txtDirectorysCopy->setFocusPolicy(Qt::NoFocus);
    c.cmdDirectorysCopy = place(button(window, QStringLiteral("Kopiera")), 3180, 1950, 765, 225, copyToolTip);

    c.lblFiles = place(new QLabel(QStringLiteral("Fullständig sökväg till filen:"), window), 4200, 960, 5175, 255);
    c.lblFiles->hide();
    c.txtFiles = place(new QLineEdit(window), 4200, 1200, 4455, 285, pathToolTip);
    c.txtFiles->hide();
    c.txtFilesCopy = place(new QLineEdit(window), 8670, 1200, 825, 285);
    c.txtFilesCopy->setReadOnly(true);
    c.txtFilesCopy->setFocusPolicy(Qt::NoFocus);
    c.txtFilesCopy->hide();
    c.cmdFilesCopy = place(button(window, QStringLiteral("Kopiera")), 8700, 1230, 765, 225, copyToolTip);
    c.cmdFilesCopy->hide();
    c.cmdFilesCopyAll =
        place(button(window, QStringLiteral("Lägg alla filnamn i urklipp")), 120, 2400, windowGeometry::listWidth, 255);
    c.cmdFilesCopyAll->hide();

    // The lists lie above the path box and the playlist buttons that share their place: those
    // are seen only in the enlarged layouts, where the lists covering them are hidden.
    for (QWidget *list : {static_cast<QWidget *>(c.lstFiles), static_cast<QWidget *>(c.lstFilesPlay),
                          static_cast<QWidget *>(c.dirFiles), static_cast<QWidget *>(c.filFiles)})
        list->raise();

    // A coarse timer may fire 5 % early or late: the song clock, the chunk requests and the
    // delayed message keep time, so theirs are precise.
    c.tmrStopMusic = timer(window, 500, Qt::PreciseTimer);
    c.tmrGetFile = timer(window, 5, Qt::PreciseTimer);
    c.tmrDoEvents = timer(window, 100, Qt::CoarseTimer);
    c.tmrClient = timer(window, 0, Qt::PreciseTimer);
    c.tmrClient->setSingleShot(true);
    return c;
}
