#include "app/RunHouseStatus.h"

#include "net/RunAttendance.h"

#include <QCursor>
#include <QToolTip>
#include <QWidget>

RunHouseStatus::RunHouseStatus(QWidget *control, const RunAttendance &attendance, QObject *parent)
    : QObject(parent), m_control(control), m_attendance(attendance), m_ownToolTip(control->toolTip())
{
    m_eventShown.setSingleShot(true);
    m_eventShown.setInterval(eventShownMs);
    connect(&m_eventShown, &QTimer::timeout, this, [this] { setEvent({}); });
    connect(&attendance, &RunAttendance::runChanged, this, [this] { setEvent({}); });
    connect(&attendance, &RunAttendance::joined, this, [this](int index) { setEvent(joinedText(index)); });
    connect(&attendance, &RunAttendance::left, this, [this](int index) { setEvent(leftText(index)); });
    // A join or leave still shown stays; the counts below it change.
    connect(&attendance, &RunAttendance::holdsAll, this, &RunHouseStatus::update);
}

QString RunHouseStatus::countsText(int inRun, int holdingAll)
{
    return QStringLiteral("I körningen: %1 %2, %3 har alla låtar")
        .arg(inRun)
        .arg(inRun == 1 ? QStringLiteral("klient") : QStringLiteral("klienter"))
        .arg(holdingAll);
}

QString RunHouseStatus::joinedText(int index)
{
    return QStringLiteral("Klient %1 anslöt").arg(index);
}

QString RunHouseStatus::leftText(int index)
{
    return QStringLiteral("Klient %1 lämnade").arg(index);
}

void RunHouseStatus::setEvent(const QString &event)
{
    m_event = event;
    if (event.isEmpty())
        m_eventShown.stop();
    else
        m_eventShown.start();
    update();
}

void RunHouseStatus::update()
{
    if (!m_attendance.runActive()) {
        m_control->setToolTip(m_ownToolTip);
        return;
    }
    const QString counts = countsText(m_attendance.inRun(), m_attendance.holdingAll());
    const QString text = m_event.isEmpty() ? counts : m_event + QLatin1Char('\n') + counts;
    m_control->setToolTip(text);
    // A tooltip already open over the control follows the house.
    if (QToolTip::isVisible() && m_control->underMouse())
        QToolTip::showText(QCursor::pos(), text, m_control);
}
