// The server and client boxes and the connect button with scripted answers, including
// the nested runs that setting a box from the program causes.
#include "app/AppInfo.h"
#include "app/ModGlobal.h"
#include "tests/app/RoleFixture.h"

#include <QLabel>
#include <QTcpServer>

namespace {

const QString both = QStringLiteral("Både och?");
const QString closeServer = QStringLiteral("Stänga server?");
const QString closeClient = QStringLiteral("Stänga av klient?");

using ServerRoleSwitchTest = RoleFixture;
using ClientRoleSwitchTest = RoleFixture;

TEST_F(ServerRoleSwitchTest, TickingAndClearingWithoutClientsAsksNothing)
{
    serverOn();
    EXPECT_TRUE(IsServer);
    EXPECT_TRUE(server.AcceptNewClients);
    EXPECT_TRUE(c.cmdServer->isEnabled());
    ASSERT_TRUE(connectRawClient());
    EXPECT_EQ(server.LastClientIndex, 1);
    rawClients[0]->disconnectFromHost();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !server.Clients[1].has_value(); }, waitMs));

    c.chkServer->setChecked(false);
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_FALSE(IsServer);
    EXPECT_FALSE(server.isListening());
    EXPECT_FALSE(server.AcceptNewClients);
    EXPECT_EQ(server.LastClientIndex, 0);
    EXPECT_FALSE(c.cmdServer->isEnabled());
    EXPECT_EQ(c.cmdServer->text(), QStringLiteral("Starta"));
    EXPECT_EQ(stopsWithoutAsking, std::vector<bool>{true});
    EXPECT_FALSE(StopWithoutAsking);
    EXPECT_EQ(windowStates, (std::vector<bool>{true, false}));
}

TEST_F(ServerRoleSwitchTest, BothRolesNoClearsTheServerBoxAndLeavesTheServerOff)
{
    c.chkClient->setChecked(true);
    dialogs.then(DialogAnswer::No);
    c.chkServer->setChecked(true);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    expectQuestion(dialogs.shown()[0], both);
    EXPECT_EQ(dialogs.shown()[0].message.text,
              QStringLiteral("Vill du verkligen köra både en klient och en server på samma dator?\n"
                             "Det kan gå segt för alla som ansluter till servern"));
    EXPECT_FALSE(c.chkServer->isChecked());
    EXPECT_FALSE(server.isListening());
    EXPECT_EQ(windowStates, std::vector<bool>{false});
}

TEST_F(ServerRoleSwitchTest, RefusingToCloseKeepsTheServerAndItsClientsUntouched)
{
    serverOn();
    ASSERT_TRUE(connectRawClient());
    dialogs.then(DialogAnswer::No);
    c.chkServer->setChecked(false);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    expectQuestion(dialogs.shown()[0], closeServer);
    EXPECT_EQ(dialogs.shown()[0].message.text,
              QStringLiteral("Vill du verkligen stänga ned server delen?\n\nDet finns fortfarande klienter anslutna."));
    EXPECT_TRUE(c.chkServer->isChecked());
    EXPECT_TRUE(IsServer);
    EXPECT_TRUE(server.isListening());
    EXPECT_TRUE(server.Clients[1].has_value());
    EXPECT_TRUE(stopsWithoutAsking.empty());
    EXPECT_EQ(windowStates, std::vector<bool>{true});

    // Yes drops the client and shrinks the window.
    dialogs.then(DialogAnswer::Yes);
    c.chkServer->setChecked(false);
    EXPECT_FALSE(server.isListening());
    EXPECT_FALSE(server.Clients[1].has_value());
    EXPECT_TRUE(QTest::qWaitFor([&] { return rawClients[0]->state() == QAbstractSocket::UnconnectedState; }, waitMs));
    EXPECT_EQ(rawClients[0]->readAll(), QByteArray());
}

TEST_F(ServerRoleSwitchTest, WithBothRolesRestoringTheTickAsksBothAgain)
{
    c.chkClient->setChecked(true);
    dialogs.then(DialogAnswer::Yes);
    serverOn();
    ASSERT_TRUE(connectRawClient());

    // No to closing, Yes to both: the server runs on untouched.
    dialogs.then(DialogAnswer::No).then(DialogAnswer::Yes);
    c.chkServer->setChecked(false);
    EXPECT_EQ(titles(), (std::vector<QString>{both, closeServer, both}));
    EXPECT_TRUE(c.chkServer->isChecked());
    EXPECT_TRUE(server.Clients[1].has_value());

    // No to closing, No to both: the box clears and the close question comes again.
    dialogs.clear();
    dialogs.then(DialogAnswer::No).then(DialogAnswer::No).then(DialogAnswer::Yes);
    c.chkServer->setChecked(false);
    EXPECT_EQ(titles(), (std::vector<QString>{closeServer, both, closeServer}));
    EXPECT_FALSE(c.chkServer->isChecked());
    EXPECT_FALSE(IsServer);
    EXPECT_FALSE(server.isListening());
    EXPECT_FALSE(server.Clients[1].has_value());
}

TEST_F(ServerRoleSwitchTest, APortInUseIsNamedAndTheBoxCleared)
{
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::LocalHost, 0));
    Port = other.serverPort();
    dialogs.then(DialogAnswer::Ok);
    c.chkServer->setChecked(true);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    const MessageBoxRequest &m = dialogs.shown()[0].message;
    EXPECT_EQ(m.text, QStringLiteral("Porten %1 används redan av ett annat program.\n"
                                     "Välj ett annat portnummer och försök igen.").arg(Port));
    EXPECT_EQ(m.buttons, DialogButtons::Ok);
    EXPECT_FALSE(c.chkServer->isChecked());
    EXPECT_FALSE(IsServer);
    EXPECT_FALSE(server.isListening());
    EXPECT_EQ(windowStates, std::vector<bool>{false});
}

TEST_F(ClientRoleSwitchTest, ConnectsToTheNamedServerAndRemembersItsName)
{
    EXPECT_FALSE(c.cmdClient->isEnabled());
    connectClientToRemote();
    const ScriptedDialogs::Shown &prompt = dialogs.shown()[0];
    EXPECT_EQ(prompt.kind, ScriptedDialogs::Kind::Input);
    EXPECT_EQ(prompt.prompt, QStringLiteral("Vilken dator vill du ansluta klienten till?"));
    EXPECT_EQ(prompt.title, QStringLiteral("Dator?"));
    EXPECT_EQ(prompt.defaultAnswer, QStringLiteral("musikrummet"));
    EXPECT_EQ(settings.serverName(), QStringLiteral("127.0.0.1"));

    // Disconnecting by the button.
    c.lblPlaying->setToolTip(QStringLiteral("/m/x.mp3"));
    c.cmdClient->click();
    EXPECT_EQ(c.cmdClient->text(), QStringLiteral("Anslut"));
    EXPECT_EQ(c.lblPlaying->toolTip(), QStringLiteral("Ingen låt spelas just nu..."));
    EXPECT_EQ(client.state(), socketCodes::stateClosed);
}

TEST_F(ClientRoleSwitchTest, ThePromptOffersThisComputerWithTheServerOnAndACancelConnectsNothing)
{
    serverOn();
    dialogs.then(DialogAnswer::Yes);
    c.chkClient->setChecked(true);
    dialogs.then(QString());
    c.cmdClient->click();
    EXPECT_EQ(dialogs.last().defaultAnswer, modGlobal::ComputerName());
    EXPECT_EQ(c.cmdClient->text(), QStringLiteral("Anslut"));
    EXPECT_EQ(client.state(), socketCodes::stateClosed);
}

TEST_F(ClientRoleSwitchTest, RefusingToSwitchOffKeepsTheConnectionAndAsksBothAgainWhenNested)
{
    connectClientToRemote();
    dialogs.clear();
    dialogs.then(DialogAnswer::No);
    c.chkClient->setChecked(false);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    expectQuestion(dialogs.shown()[0], closeClient);
    EXPECT_EQ(dialogs.shown()[0].message.text,
              QStringLiteral("Du är ansluten till en Tunvero server, vill du verkligen stänga av klienten?"));
    EXPECT_TRUE(c.chkClient->isChecked());
    EXPECT_EQ(client.state(), socketCodes::stateConnected);

    // With the server box ticked too: putting the tick back asks "Både och?"; No clears
    // the box and asks "Stänga av klient?" again.
    Port = 0;
    dialogs.then(DialogAnswer::Yes);
    serverOn();
    dialogs.clear();
    dialogs.then(DialogAnswer::No).then(DialogAnswer::No).then(DialogAnswer::Yes);
    c.chkClient->setChecked(false);
    EXPECT_EQ(titles(), (std::vector<QString>{closeClient, both, closeClient}));
    EXPECT_FALSE(c.chkClient->isChecked());
    EXPECT_FALSE(c.cmdClient->isEnabled());
    EXPECT_EQ(c.cmdClient->text(), QStringLiteral("Anslut"));
    EXPECT_EQ(client.state(), socketCodes::stateClosed);
}

TEST_F(ClientRoleSwitchTest, TheServerSwitchingOffShowsAnslutWithoutAMessage)
{
    connectClientToRemote();
    dialogs.clear();
    remote.dropAllConnections();
    ASSERT_TRUE(QTest::qWaitFor([&] { return c.cmdClient->text() == QStringLiteral("Anslut"); }, waitMs));
    QTest::qWait(50);
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(ClientRoleSwitchTest, ARefusedConnectionPromptsAgainThenSaysNoServer)
{
    {
        QTcpServer gone;
        ASSERT_TRUE(gone.listen(QHostAddress::LocalHost, 0));
        Port = gone.serverPort();
    }
    c.chkClient->setChecked(true);
    dialogs.then(QStringLiteral("127.0.0.1")).then(QString()).then(DialogAnswer::Ok);
    c.cmdClient->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialogs.shown().size() == 3; }, waitMs));
    EXPECT_EQ(dialogs.shown()[1].kind, ScriptedDialogs::Kind::Input);
    const MessageBoxRequest &m = dialogs.shown()[2].message;
    EXPECT_EQ(m.title, QStringLiteral("Ingen server"));
    EXPECT_EQ(m.text, QStringLiteral("Datorn som du försökte ansluta till var tillgänglig, men den hade inte "
                                     "någon Tunvero server påsatt"));
    EXPECT_EQ(m.icon, DialogIcon::Information);
    EXPECT_EQ(m.buttons, DialogButtons::Ok);
    EXPECT_EQ(c.cmdClient->text(), QStringLiteral("Anslut"));
    EXPECT_EQ(settings.serverName(), QStringLiteral("musikrummet"));
}

TEST_F(ClientRoleSwitchTest, EachErrorNumberHasItsMessage)
{
    int afterError = 0;
    clientSwitch.setAfterConnectionError([&] { ++afterError; });
    c.chkClient->setChecked(true);
    struct Case {
        int number;
        QString title;
        QString text;
        DialogIcon icon;
    };
    const std::vector<Case> cases{
        {11001, QStringLiteral("Kunde inte hitta dator..."),
         QStringLiteral("Den datorn du försökte ansluta till var inte tillgänglig!\n\n"
                        "Var vänlig att kolla om datorn är påslagen och att du stavat rätt"),
         DialogIcon::Information},
        {10053, QStringLiteral("Bortkopplad..."), QStringLiteral("Servern kopplade bort dig!"), DialogIcon::Information},
        {10054, QStringLiteral("Bortkopplad..."), QStringLiteral("Servern kopplade bort dig!"), DialogIcon::Information},
        {5, applicationTitle(), QStringLiteral("5\n\nSocket operation timed out"), DialogIcon::None},
    };
    for (const Case &k : cases) {
        dialogs.clear();
        dialogs.then(QString()).then(DialogAnswer::Ok);
        c.cmdClient->setText(QStringLiteral("Koppla från"));
        clientSwitch.sckClient_Error(k.number, QStringLiteral("Socket operation timed out"));
        ASSERT_EQ(dialogs.shown().size(), 2u);
        EXPECT_EQ(dialogs.shown()[0].kind, ScriptedDialogs::Kind::Input);
        EXPECT_EQ(dialogs.shown()[1].message.title, k.title);
        EXPECT_EQ(dialogs.shown()[1].message.text, k.text);
        EXPECT_EQ(dialogs.shown()[1].message.icon, k.icon);
        EXPECT_EQ(c.cmdClient->text(), QStringLiteral("Anslut"));
    }
    EXPECT_EQ(afterError, 4);
}

} // namespace
