#include "platform/UnattendedDialogs.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class UnattendedDialogsTest : public ::testing::Test {
protected:
    QStringList printed;
    UnattendedDialogs dialogs{[this](const QString &line) { printed.append(line); }};
};

} // namespace

TEST_F(UnattendedDialogsTest, QuestionsTakeTheirDefaultButtonUnlessAnswered)
{
    EXPECT_FALSE(
        dialogs.askYesNo(QStringLiteral("Vill du verkligen starta nu?\nDe datorer..."), QStringLiteral("Starta nu?")));
    ASSERT_EQ(printed.size(), 1);
    // Title and text on one line, with the answer given.
    EXPECT_EQ(printed[0], QStringLiteral("[Starta nu?] Vill du verkligen starta nu? / De datorer... -> Nej"));

    dialogs.setAnswer(QStringLiteral("Starta nu?"), DialogAnswer::Yes);
    EXPECT_TRUE(dialogs.askYesNo(QStringLiteral("x"), QStringLiteral("Starta nu?")));
    // Another title keeps its default.
    EXPECT_FALSE(dialogs.askYesNo(QStringLiteral("x"), QStringLiteral("Stoppa?")));
    dialogs.clearAnswer(QStringLiteral("Starta nu?"));
    EXPECT_FALSE(dialogs.askYesNo(QStringLiteral("x"), QStringLiteral("Starta nu?")));
}

TEST_F(UnattendedDialogsTest, AnAnswerTheBoxDoesNotOfferIsNotGiven)
{
    dialogs.setAnswer(QStringLiteral("Tunvero"), DialogAnswer::Yes);
    EXPECT_EQ(dialogs.message({QStringLiteral("Ej godkänd katalog/enhet"), QStringLiteral("Tunvero")}),
              DialogAnswer::Ok);
    // A Yes/No box whose default is OK closes as Escape would: No.
    EXPECT_EQ(dialogs.message({QStringLiteral("?"), QStringLiteral("Fråga"), DialogButtons::YesNo, DialogIcon::Question,
                               DialogAnswer::Ok}),
              DialogAnswer::No);
    dialogs.setAnswer(QStringLiteral("Fråga"), DialogAnswer::Ok);
    EXPECT_EQ(dialogs.message({QStringLiteral("?"), QStringLiteral("Fråga"), DialogButtons::YesNo, DialogIcon::Question,
                               DialogAnswer::Yes}),
              DialogAnswer::Yes);
}

TEST_F(UnattendedDialogsTest, InputsAndFileDialogs)
{
    EXPECT_EQ(dialogs.input(QStringLiteral("I vilken katalog?"), QStringLiteral("Var?"), QStringLiteral("/m/")),
              QStringLiteral("/m/"));
    dialogs.setAnswer(QStringLiteral("Var?"), QStringLiteral("/srv/musik"));
    EXPECT_EQ(dialogs.input(QStringLiteral("I vilken katalog?"), QStringLiteral("Var?"), QStringLiteral("/m/")),
              QStringLiteral("/srv/musik"));
    EXPECT_EQ(printed.last(), QStringLiteral("[Var?] I vilken katalog? -> \"/srv/musik\""));

    // Unanswered file dialogs are cancelled; the answer set for one title is not another's.
    const FileDialogRequest open{
        QStringLiteral("Välj fil att ladda playlisten från..."), QStringLiteral("*.tunvero"), {}};
    EXPECT_EQ(dialogs.openFileName(open), QString());
    dialogs.setAnswer(open.title, QStringLiteral("/p/fest.tunvero"));
    EXPECT_EQ(dialogs.openFileName(open), QStringLiteral("/p/fest.tunvero"));
    EXPECT_EQ(dialogs.saveFileName({QStringLiteral("Spara"), QStringLiteral("*.tunvero"), {}}), QString());
    EXPECT_EQ(printed.size(), 5);
}

TEST_F(UnattendedDialogsTest, ADelayedAnswerKeepsTheEventLoopRunning)
{
    // As under a modal box, timers and sockets are served while the answer waits.
    dialogs.setAnswerDelay(QStringLiteral("Dator?"), 200);
    bool served = false;
    QObject context;
    QTimer::singleShot(10, &context, [&served] { served = true; });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(dialogs.input(QStringLiteral("Vilken dator?"), QStringLiteral("Dator?"), QStringLiteral("server")),
              QStringLiteral("server"));
    EXPECT_GE(clock.elapsed(), 200);
    EXPECT_TRUE(served);
}
