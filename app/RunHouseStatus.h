#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class QWidget;
class RunAttendance;

// The house of a run on a control of the window, as its tooltip: how many clients take part
// and how many hold every song, and for a moment who joined or left. Outside a run the control
// keeps its own tooltip.
class RunHouseStatus : public QObject {
    Q_OBJECT
public:
    // How long a join or a leave stays in the text.
    static constexpr int eventShownMs = 8000;

    RunHouseStatus(QWidget *control, const RunAttendance &attendance, QObject *parent = nullptr);

    static QString countsText(int inRun, int holdingAll);
    static QString joinedText(int index);
    static QString leftText(int index);

private:
    // `event` "" when none is shown.
    void setEvent(const QString &event);
    void update();

    QWidget *m_control;
    const RunAttendance &m_attendance;
    QString m_ownToolTip;
    QString m_event;
    QTimer m_eventShown;
};
