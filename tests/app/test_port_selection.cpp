// The port box and its button: keys filtered, Enter applies, silent put-backs, the server
// and client questions and the final number message.
#include "core/AppInfo.h"
#include "tests/app/RoleFixture.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>

namespace {

class PortSelectionTest : public RoleFixture {
protected:
    // Types `text` and clicks the button, with these answers for the dialogs that follow.
    template <typename... Answers> void clickWith(const QString &text, Answers... answers)
    {
        c.cmbPort->setEditText(text);
        dialogs.clear();
        (dialogs.then(answers), ...);
        c.cmdPort->click();
    }

    // The last dialog: the port number in use from now on.
    void expectNumberMessage(int number) { EXPECT_EQ(dialogs.last().message.text, QString::number(number)); }

    // The box shown with the focus; keys go where a person's typing goes.
    QWidget *focusedBox()
    {
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        c.cmbPort->setFocus();
        EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() != nullptr; }, waitMs));
        return QApplication::focusWidget();
    }
};

TEST_F(PortSelectionTest, TypingIntoTheFocusedBoxTakesOnlyDigitsAndEnterApplies)
{
    QWidget *typing = focusedBox();
    ASSERT_EQ(typing, c.cmbPort);

    // Delete makes no character and is left alone, so it can empty the box.
    QTest::keyClick(typing, Qt::Key_Home);
    for (int k = 0; k < 5; ++k)
        QTest::keyClick(typing, Qt::Key_Delete);
    ASSERT_EQ(c.cmbPort->currentText(), QString());

    QTest::keyClicks(typing, QStringLiteral("5a-0 0x0+0"));
    QTest::keyClick(typing, Qt::Key_Backspace);
    EXPECT_EQ(c.cmbPort->currentText(), QStringLiteral("50000"));

    dialogs.then(DialogAnswer::Ok);
    QTest::keyClick(typing, Qt::Key_Return);
    EXPECT_EQ(session.port(), 50000);

    // The keypad's Enter applies too.
    QTest::keyClick(typing, Qt::Key_Home);
    QTest::keyClick(typing, Qt::Key_Delete);
    QTest::keyClick(typing, Qt::Key_6);
    dialogs.then(DialogAnswer::Ok);
    QTest::keyClick(typing, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(session.port(), 60000);
}

TEST_F(PortSelectionTest, EditingKeysKeepTheirMeaningWhateverTextX11GivesThem)
{
    QWidget *typing = focusedBox();
    ASSERT_EQ(typing, c.cmbPort);
    // X11 attaches a control character to these keys; Windows and the offscreen platform none.
    const auto press = [&](Qt::Key key, const QString &text) {
        QTest::sendKeyEvent(QTest::Click, typing, key, text, Qt::NoModifier);
    };
    press(Qt::Key_End, QString());
    press(Qt::Key_Left, QString());
    press(Qt::Key_Delete, QString(QChar(0x7f)));
    EXPECT_EQ(c.cmbPort->currentText(), QStringLiteral("4993"));
    press(Qt::Key_Home, QString());
    press(Qt::Key_Escape, QString(QChar(0x1b)));
    for (int k = 0; k < 4; ++k)
        press(Qt::Key_Delete, QString(QChar(0x7f)));
    ASSERT_EQ(c.cmbPort->currentText(), QString());

    // Backspace stays discarded, with or without its character; only digits go in.
    QTest::keyClicks(typing, QStringLiteral("12"));
    press(Qt::Key_Backspace, QStringLiteral("\b"));
    press(Qt::Key_Backspace, QString());
    EXPECT_EQ(c.cmbPort->currentText(), QStringLiteral("12"));
}

TEST_F(PortSelectionTest, InvalidOutOfRangeAndUnchangedNumbersArePutBackSilently)
{
    for (const char *text : {"65536", "-1", "049932", "+49932", " 49932", "abc", "", "99999999999999999999", "49931"}) {
        clickWith(QString::fromLatin1(text));
        EXPECT_EQ(c.cmbPort->currentText(), QStringLiteral("49931")) << text;
        EXPECT_TRUE(dialogs.shown().empty()) << text;
        EXPECT_EQ(session.port(), SessionState::defaultPort);
    }
    // The ends of the range are taken.
    for (const int number : {65535, 0}) {
        clickWith(QString::number(number), DialogAnswer::Ok);
        EXPECT_EQ(session.port(), number);
    }
}

TEST_F(PortSelectionTest, ARunningRoleIsAskedFirstServerBeforeClientAndYesSwitchesItOffQuietly)
{
    connectClientToRemote();
    session.setPort(0);
    dialogs.then(DialogAnswer::Yes);
    serverOn();
    ASSERT_TRUE(connectRawClient());
    // Only the server is asked; No keeps its port and the number in use is shown.
    clickWith(QStringLiteral("50001"), DialogAnswer::No, DialogAnswer::Ok);
    EXPECT_EQ(titles(), (std::vector<QString>{QStringLiteral("Stänga servern"), applicationTitle()}));
    expectNumberMessage(0);
    EXPECT_TRUE(server.isListening());
    EXPECT_EQ(c.cmbPort->currentText(), QStringLiteral("50001"));
    clickWith(QStringLiteral("50001"), DialogAnswer::Yes, DialogAnswer::Ok);
    expectNumberMessage(50001);
    EXPECT_FALSE(c.chkServer->isChecked() || server.isListening() || server.client(1));
    EXPECT_EQ(stopsWithoutAsking, std::vector<bool>{true});
    EXPECT_EQ(client.state(), socketCodes::stateConnected);

    // Then the client.
    clickWith(QStringLiteral("50002"), DialogAnswer::No, DialogAnswer::Ok);
    EXPECT_EQ(titles(), (std::vector<QString>{QStringLiteral("Stänga klienten"), applicationTitle()}));
    expectNumberMessage(50001);
    EXPECT_EQ(client.state(), socketCodes::stateConnected);
    clickWith(QStringLiteral("50002"), DialogAnswer::Yes, DialogAnswer::Ok);
    expectNumberMessage(50002);
    EXPECT_EQ(client.state(), socketCodes::stateClosed);
}

} // namespace
