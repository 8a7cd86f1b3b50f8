#include "app/PortSelection.h"

#include "core/AppInfo.h"
#include "net/ClientRole.h"
#include "net/SocketCodes.h"
#include "platform/Dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QPushButton>

PortSelection::PortSelection(const WindowControls &controls, Dialogs &dialogs, ClientRole &client,
                             SessionState &session, QObject *parent)
    : QObject(parent), c(controls), m_dialogs(dialogs), m_client(client), m_session(session)
{
    // Typed keys reach the focused combo box first; it hands them to its line edit itself,
    // past any filter there.
    c.cmbPort->installEventFilter(this);
    connect(c.cmdPort, &QPushButton::clicked, this, &PortSelection::cmdPort_Click);
}

void PortSelection::fillPortList()
{
    for (int k = 0; k < listLength; ++k)
        c.cmbPort->addItem(QString::number(firstPort + k));
    c.cmbPort->setEditText(QString::number(firstPort));
}

bool PortSelection::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    int keyAscii = 0;
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        keyAscii = 13;
        break;
    case Qt::Key_Backspace:
        keyAscii = 8;
        break;
    default:
        // Keys that make no character (Delete, arrows, Tab) are not the filter's business, even
        // when the platform attaches one: X11 gives Delete 0x7F and Escape 0x1B.
        if (key->text().isEmpty() || (key->key() >= Qt::Key_Escape && key->key() != Qt::Key_unknown))
            return false;
        keyAscii = key->text().at(0).unicode();
        break;
    }
    cmbPort_KeyPress(keyAscii);
    return keyAscii == 0;
}

void PortSelection::cmbPort_KeyPress(int &KeyAscii)
{
    if (KeyAscii == 13)
        cmdPort_Click();
    if (KeyAscii < '0' || KeyAscii > '9')
        KeyAscii = 0;
}

void PortSelection::cmdPort_Click()
{
    const QString text = c.cmbPort->currentText();
    bool isNumber = false;
    const qlonglong value = text.toLongLong(&isNumber);
    // Only the plain decimal writing of a whole number counts: no sign, blank or leading zero.
    if (!isNumber || QString::number(value) != text || value == m_session.port() || value < 0 || value > 65535) {
        putPortBack();
        return;
    }
    if (m_session.isServer()) {
        if (m_dialogs.askYesNo(QStringLiteral("Om du ändrar portnumret nu så måste du\n"
                                              "först koppla bort alla klienter, vill du verkligen det?"),
                               QStringLiteral("Stänga servern"))) {
            {
                StopWithoutAskingScope silent(m_session);
                c.chkServer->setChecked(false);
            }
            m_session.setPort(static_cast<int>(value));
        }
    } else if (m_client.state() == socketCodes::stateConnected) {
        if (m_dialogs.askYesNo(QStringLiteral("Om du vill ändra portnumret nu så måste du stänga av klienten"),
                               QStringLiteral("Stänga klienten"))) {
            m_client.close();
            m_session.setPort(static_cast<int>(value));
        }
    } else {
        m_session.setPort(static_cast<int>(value));
    }
    m_dialogs.tell(QString::number(m_session.port()), applicationTitle());
}

void PortSelection::putPortBack()
{
    c.cmbPort->setEditText(QString::number(m_session.port()));
}
