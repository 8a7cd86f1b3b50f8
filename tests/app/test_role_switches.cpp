// The server and client boxes and the connect button with scripted answers, including
// the nested runs that setting a box from the program causes.
#include "core/AppInfo.h"
#include "tests/app/RoleFixture.h"

#include <QTcpServer>

namespace {

const QString both = QStringLiteral("Både och?");
const QString closeServer = QStringLiteral("Stänga server?");
const QString closeClient = QStringLiteral("Stänga av klient?");

// The server listens on a port the system picks, never on a fixed one.
class RoleSwitchTest : public RoleFixture {
protected:
    RoleSwitchTest() { session.setPort(0); }
};

TEST_F(RoleSwitchTest, ClosingTheServerAsksOnlyWhileAClientIsConnectedAndAPortInUseIsNamed)
{
    serverOn();
    c.chkServer->setChecked(false);
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_FALSE(session.isServer() || server.isListening() || session.acceptNewClients());
    EXPECT_EQ(stopsWithoutAsking, std::vector<bool>{true}); // a running playback stops unasked

    // With a client connected, No keeps everything as it was.
    serverOn();
    ASSERT_TRUE(connectRawClient());
    dialogs.then(DialogAnswer::No);
    c.chkServer->setChecked(false);
    expectOnlyQuestion(closeServer, QStringLiteral("Vill du verkligen stänga ned server delen?\n\n"
                                                   "Det finns fortfarande klienter anslutna."));
    EXPECT_TRUE(c.chkServer->isChecked() && server.isListening() && server.client(1));

    // Yes drops the client without a word to it.
    dialogs.then(DialogAnswer::Yes);
    c.chkServer->setChecked(false);
    EXPECT_FALSE(server.isListening() || server.client(1));
    EXPECT_TRUE(QTest::qWaitFor([&] { return rawClients[0]->state() == QAbstractSocket::UnconnectedState; }, waitMs));
    EXPECT_EQ(rawClients[0]->readAll(), QByteArray());

    // A port in use is named and the box cleared.
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::LocalHost, 0));
    session.setPort(other.serverPort());
    dialogs.clear();
    dialogs.then(DialogAnswer::Ok);
    c.chkServer->setChecked(true);
    ASSERT_EQ(dialogs.messageTexts().size(), 1u);
    EXPECT_TRUE(dialogs.messageTexts()[0].contains(QString::number(session.port())));
    EXPECT_FALSE(c.chkServer->isChecked() || session.isServer() || server.isListening());
}

TEST_F(RoleSwitchTest, WithBothRolesNoClearsTheServerBoxAndRestoringTheTickAsksAgain)
{
    c.chkClient->setChecked(true);
    dialogs.then(DialogAnswer::No);
    c.chkServer->setChecked(true);
    expectOnlyQuestion(both, QStringLiteral("Vill du verkligen köra både en klient och en server på samma dator?\n"
                                            "Det kan gå segt för alla som ansluter till servern"));
    EXPECT_FALSE(c.chkServer->isChecked() || server.isListening());

    dialogs.clear();
    dialogs.then(DialogAnswer::Yes);
    serverOn();
    ASSERT_TRUE(connectRawClient());

    // No to closing, No to both: the box clears and the close question comes again.
    dialogs.clear();
    dialogs.then(DialogAnswer::No).then(DialogAnswer::No).then(DialogAnswer::Yes);
    c.chkServer->setChecked(false);
    EXPECT_EQ(titles(), (std::vector<QString>{closeServer, both, closeServer}));
    EXPECT_FALSE(c.chkServer->isChecked() || session.isServer() || server.isListening() || server.client(1));
}

TEST_F(RoleSwitchTest, TheClientRemembersTheServerDisconnectsByTheButtonAndIsToldQuietlyWhenTheServerGoes)
{
    connectClientToRemote();
    EXPECT_EQ(dialogs.shown()[0].defaultAnswer, QStringLiteral("musikrummet"));
    EXPECT_EQ(settings.serverName(), QStringLiteral("127.0.0.1"));
    c.cmdClient->click(); // "Koppla från"
    EXPECT_EQ(client.state(), socketCodes::stateClosed);

    dialogs.clear();
    dialogs.then(QStringLiteral("127.0.0.1"));
    c.cmdClient->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return remote.isReady(2); }, waitMs));
    dialogs.clear();
    remote.dropAllConnections();
    ASSERT_TRUE(QTest::qWaitFor([&] { return c.cmdClient->text() == QStringLiteral("Anslut"); }, waitMs));
    QTest::qWait(50);
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(RoleSwitchTest, RefusingToSwitchOffTheClientKeepsTheConnectionAndAsksBothAgainWhenNested)
{
    connectClientToRemote();
    dialogs.clear();
    dialogs.then(DialogAnswer::No);
    c.chkClient->setChecked(false);
    expectOnlyQuestion(closeClient,
                       QStringLiteral("Du är ansluten till en Tunvero server, vill du verkligen stänga av klienten?"));
    EXPECT_TRUE(c.chkClient->isChecked());
    EXPECT_EQ(client.state(), socketCodes::stateConnected);

    // With the server box ticked too: putting the tick back asks "Både och?"; No clears
    // the box and asks "Stänga av klient?" again.
    session.setPort(0);
    dialogs.then(DialogAnswer::Yes);
    serverOn();
    dialogs.clear();
    dialogs.then(DialogAnswer::No).then(DialogAnswer::No).then(DialogAnswer::Yes);
    c.chkClient->setChecked(false);
    EXPECT_EQ(titles(), (std::vector<QString>{closeClient, both, closeClient}));
    EXPECT_FALSE(c.chkClient->isChecked() || c.cmdClient->isEnabled());
    EXPECT_EQ(client.state(), socketCodes::stateClosed);
}

TEST_F(RoleSwitchTest, EachConnectionErrorHasItsMessageAfterANewPrompt)
{
    int afterError = 0;
    clientSwitch.setAfterConnectionError([&] { ++afterError; });
    c.chkClient->setChecked(true);
    // The message comes after a new prompt, with the button back at "Anslut".
    const auto expectMessage = [&](const QString &title, const QString &text) {
        ASSERT_EQ(dialogs.shown().size(), 2u);
        EXPECT_EQ(dialogs.last().message.title, title);
        EXPECT_EQ(dialogs.last().message.text, text);
        EXPECT_EQ(c.cmdClient->text(), QStringLiteral("Anslut"));
    };

    // A real refusal: the name is not remembered.
    {
        QTcpServer gone;
        ASSERT_TRUE(gone.listen(QHostAddress::LocalHost, 0));
        session.setPort(gone.serverPort());
    }
    dialogs.then(QStringLiteral("127.0.0.1"));
    c.cmdClient->click();
    dialogs.clear();
    dialogs.then(QString()).then(DialogAnswer::Ok);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialogs.shown().size() == 2; }, waitMs));
    expectMessage(QStringLiteral("Ingen server"),
                  QStringLiteral("Datorn som du försökte ansluta till var tillgänglig, men den hade inte "
                                 "någon Tunvero server påsatt"));
    EXPECT_EQ(settings.serverName(), QStringLiteral("musikrummet"));

    const QString gone = QStringLiteral("Servern kopplade bort dig!");
    const std::vector<std::tuple<int, QString, QString>> cases{
        {11001, QStringLiteral("Kunde inte hitta dator..."),
         QStringLiteral("Den datorn du försökte ansluta till var inte tillgänglig!\n\n"
                        "Var vänlig att kolla om datorn är påslagen och att du stavat rätt")},
        {10053, QStringLiteral("Bortkopplad..."), gone},
        {10054, QStringLiteral("Bortkopplad..."), gone},
        {5, applicationTitle(), QStringLiteral("5\n\nSocket operation timed out")},
    };
    for (const auto &[number, title, text] : cases) {
        dialogs.clear();
        dialogs.then(QString()).then(DialogAnswer::Ok);
        c.cmdClient->setText(QStringLiteral("Koppla från"));
        clientSwitch.sckClient_Error(number, QStringLiteral("Socket operation timed out"));
        expectMessage(title, text);
    }
    EXPECT_EQ(afterError, 5);
}

} // namespace
