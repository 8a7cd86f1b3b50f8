#include "platform/UnattendedDialogs.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace {

class UnattendedDialogsTest : public ::testing::Test {
protected:
    QStringList printed;
    UnattendedDialogs dialogs{[this](const QString &line) { printed.append(line); }};
};

} // namespace

TEST_F(UnattendedDialogsTest, EveryDialogTakesItsDefaultUnlessAnsweredWithAnAnswerItOffers)
{
    const QString start = QStringLiteral("Starta nu?");
    EXPECT_FALSE(dialogs.askYesNo(QStringLiteral("Vill du verkligen starta nu?\nDe datorer..."), start));
    // Title and text on one line, with the answer given.
    EXPECT_EQ(printed, QStringList{QStringLiteral("[Starta nu?] Vill du verkligen starta nu? / De datorer... -> Nej")});
    dialogs.setAnswer(start, DialogAnswer::Yes);
    EXPECT_TRUE(dialogs.askYesNo(QStringLiteral("x"), start));
    EXPECT_FALSE(dialogs.askYesNo(QStringLiteral("x"), QStringLiteral("Stoppa?"))); // another title
    dialogs.clearAnswer(start);
    EXPECT_FALSE(dialogs.askYesNo(QStringLiteral("x"), start));

    // Yes is no answer to an OK box; a Yes/No box whose default is OK closes as Escape: No.
    dialogs.setAnswer(QStringLiteral("Tunvero"), DialogAnswer::Yes);
    EXPECT_EQ(dialogs.message({QStringLiteral("Ej godkänd katalog/enhet"), QStringLiteral("Tunvero")}),
              DialogAnswer::Ok);
    EXPECT_EQ(dialogs.message({QStringLiteral("?"), QStringLiteral("Fråga"), DialogButtons::YesNo, DialogIcon::Question,
                               DialogAnswer::Ok}),
              DialogAnswer::No);

    // Inputs take their default, file dialogs are cancelled, unless answered.
    const QString prompt = QStringLiteral("I vilken katalog?");
    EXPECT_EQ(dialogs.input(prompt, QStringLiteral("Var?"), QStringLiteral("/m/")), QStringLiteral("/m/"));
    dialogs.setAnswer(QStringLiteral("Var?"), QStringLiteral("/srv/musik"));
    EXPECT_EQ(dialogs.input(prompt, QStringLiteral("Var?"), QStringLiteral("/m/")), QStringLiteral("/srv/musik"));
    EXPECT_EQ(printed.last(), QStringLiteral("[Var?] I vilken katalog? -> \"/srv/musik\""));

    const FileDialogRequest open{
        QStringLiteral("Välj fil att ladda playlisten från..."), QStringLiteral("*.tunvero"), {}};
    EXPECT_EQ(dialogs.openFileName(open), QString());
    dialogs.setAnswer(open.title, QStringLiteral("/p/fest.tunvero"));
    EXPECT_EQ(dialogs.openFileName(open), QStringLiteral("/p/fest.tunvero"));
    EXPECT_EQ(dialogs.saveFileName({QStringLiteral("Spara"), QStringLiteral("*.tunvero"), {}}), QString());
}
