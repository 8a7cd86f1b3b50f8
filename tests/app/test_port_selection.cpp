// The port box and its button: keys filtered, Enter applies, silent put-backs, the server
// and client questions and the final number message.
#include "app/AppInfo.h"
#include "tests/app/RoleFixture.h"

#include <QComboBox>
#include <QLineEdit>

namespace {

class PortSelectionTest : public RoleFixture {
protected:
    void SetUp() override
    {
        portSelection.fillPortList();
        Port = 49931;
    }

    QLineEdit *edit() { return c.cmbPort->lineEdit(); }

    void type(const QString &text)
    {
        c.cmbPort->setEditText(text);
        dialogs.clear();
    }

    void expectNumberMessage(const ScriptedDialogs::Shown &shown, int number)
    {
        EXPECT_EQ(shown.message.text, QString::number(number));
        EXPECT_EQ(shown.message.title, applicationTitle());
        EXPECT_EQ(shown.message.buttons, DialogButtons::Ok);
        EXPECT_EQ(shown.message.icon, DialogIcon::None);
    }
};

TEST_F(PortSelectionTest, OnlyDigitsGetIntoTheBoxAndEnterApplies)
{
    EXPECT_EQ(c.cmbPort->count(), 21);
    EXPECT_EQ(c.cmbPort->itemText(0), QStringLiteral("49931"));
    EXPECT_EQ(c.cmbPort->itemText(20), QStringLiteral("49951"));
    EXPECT_EQ(c.cmbPort->currentText(), QStringLiteral("49931"));

    edit()->clear();
    QTest::keyClicks(edit(), QStringLiteral("5a-0 0x0+0"));
    EXPECT_EQ(edit()->text(), QStringLiteral("50000"));
    QTest::keyClick(edit(), Qt::Key_Backspace);
    EXPECT_EQ(edit()->text(), QStringLiteral("50000"));
    // Delete makes no character and is left alone.
    edit()->setCursorPosition(0);
    QTest::keyClick(edit(), Qt::Key_Delete);
    EXPECT_EQ(edit()->text(), QStringLiteral("0000"));
    QTest::keyClick(edit(), Qt::Key_1);
    EXPECT_EQ(edit()->text(), QStringLiteral("10000"));

    dialogs.then(DialogAnswer::Ok);
    QTest::keyClick(edit(), Qt::Key_Return);
    EXPECT_EQ(Port, 10000);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    expectNumberMessage(dialogs.shown()[0], 10000);
    EXPECT_EQ(edit()->text(), QStringLiteral("10000"));
}

TEST_F(PortSelectionTest, InvalidOutOfRangeAndUnchangedNumbersArePutBackSilently)
{
    for (const QString &text : {QStringLiteral("70000"), QStringLiteral("65536"), QStringLiteral("-1"),
                                QStringLiteral("049932"), QStringLiteral("+49932"), QStringLiteral(" 49932"),
                                QStringLiteral("4993.2"), QStringLiteral("abc"), QString(),
                                QStringLiteral("99999999999999999999"), QStringLiteral("49931")}) {
        type(text);
        c.cmdPort->click();
        EXPECT_EQ(c.cmbPort->currentText(), QStringLiteral("49931")) << text.toStdString();
        EXPECT_TRUE(dialogs.shown().empty()) << text.toStdString();
        EXPECT_EQ(Port, 49931);
    }
    // The ends of the range are taken.
    for (const int number : {65535, 0}) {
        type(QString::number(number));
        dialogs.then(DialogAnswer::Ok);
        c.cmdPort->click();
        EXPECT_EQ(Port, number);
    }
}

TEST_F(PortSelectionTest, WithTheServerRunningYesSwitchesItOffWithoutTheCloseQuestion)
{
    Port = 0;
    serverOn();
    ASSERT_TRUE(connectRawClient());

    type(QStringLiteral("50001"));
    dialogs.then(DialogAnswer::No).then(DialogAnswer::Ok);
    c.cmdPort->click();
    ASSERT_EQ(dialogs.shown().size(), 2u);
    expectQuestion(dialogs.shown()[0], QStringLiteral("Stänga servern"));
    EXPECT_EQ(dialogs.shown()[0].message.text,
              QStringLiteral("Om du ändrar portnumret nu så måste du\nförst koppla bort alla klienter, vill du verkligen det?"));
    expectNumberMessage(dialogs.shown()[1], 0);
    EXPECT_TRUE(server.isListening());
    EXPECT_EQ(c.cmbPort->currentText(), QStringLiteral("50001"));

    dialogs.clear();
    dialogs.then(DialogAnswer::Yes).then(DialogAnswer::Ok);
    c.cmdPort->click();
    ASSERT_EQ(dialogs.shown().size(), 2u);
    expectNumberMessage(dialogs.shown()[1], 50001);
    EXPECT_EQ(Port, 50001);
    EXPECT_FALSE(c.chkServer->isChecked());
    EXPECT_FALSE(server.isListening());
    EXPECT_FALSE(server.Clients[1].has_value());
    EXPECT_EQ(stopsWithoutAsking, std::vector<bool>{true});
    EXPECT_FALSE(StopWithoutAsking);
}

TEST_F(PortSelectionTest, WithTheClientConnectedTheAnswerDecides)
{
    connectClientToRemote();
    const int remotePort = Port;

    type(QStringLiteral("50002"));
    dialogs.then(DialogAnswer::No).then(DialogAnswer::Ok);
    c.cmdPort->click();
    expectQuestion(dialogs.shown()[0], QStringLiteral("Stänga klienten"));
    EXPECT_EQ(dialogs.shown()[0].message.text,
              QStringLiteral("Om du vill ändra portnumret nu så måste du stänga av klienten"));
    expectNumberMessage(dialogs.shown()[1], remotePort);
    EXPECT_EQ(client.state(), socketCodes::stateConnected);

    dialogs.clear();
    dialogs.then(DialogAnswer::Yes).then(DialogAnswer::Ok);
    c.cmdPort->click();
    expectNumberMessage(dialogs.shown()[1], 50002);
    EXPECT_EQ(client.state(), socketCodes::stateClosed);
    // The caption stays until the next click, which only sets it back.
    EXPECT_EQ(c.cmdClient->text(), QStringLiteral("Koppla från"));
    c.cmdClient->click();
    EXPECT_EQ(c.cmdClient->text(), QStringLiteral("Anslut"));
}

TEST_F(PortSelectionTest, WithBothRolesOnlyTheServerIsAsked)
{
    connectClientToRemote();
    Port = 0;
    dialogs.then(DialogAnswer::Yes);
    serverOn();
    type(QStringLiteral("50003"));
    dialogs.then(DialogAnswer::Yes).then(DialogAnswer::Ok);
    c.cmdPort->click();
    EXPECT_EQ(titles(), (std::vector<QString>{QStringLiteral("Stänga servern"), applicationTitle()}));
    EXPECT_EQ(client.state(), socketCodes::stateConnected);
    EXPECT_EQ(Port, 50003);
}

} // namespace
